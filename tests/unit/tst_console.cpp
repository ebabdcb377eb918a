#include "bridge/console.h"
#include "stdinpipe.h"

#include <QtTest>

#include <memory>

// The controller's own life: its reader and its end.
class tst_Console : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void teardownWhileReaderBlocked();
    void teardownWhileReaderHeldBack();
    void endOfInputQuits();

private:
    QTemporaryDir m_directory;
};

void tst_Console::initTestCase()
{
    // No desktop application serves here: the link's attempts fail without touching another test.
    QVERIFY(m_directory.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_directory.path()));
}

// Destroying the controller must neither hang on the blocked reader nor abort.
void tst_Console::teardownWhileReaderBlocked()
{
    StdinPipe input;
    QVERIFY(input.isValid());
    auto console = std::make_unique<oxlconsole::Console>();
    QSignalSpy quitSpy(console.get(), SIGNAL(quit()));
    console->runCalyxen();
    input.write("a line\n");
    // Time for the reader to take the line and block again; no quit within a while.
    QTest::qWait(200);
    QCOMPARE(quitSpy.count(), 0);
    QElapsedTimer clock;
    clock.start();
    console.reset();
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(quitSpy.count(), 1);
}

// Lines that the main thread has not handled yet hold the reader back; the controller's end
// must end that wait too.
void tst_Console::teardownWhileReaderHeldBack()
{
    StdinPipe input;
    QVERIFY(input.isValid());
    auto console = std::make_unique<oxlconsole::Console>();
    console->runCalyxen();
    // Far more empty lines than the reader may hold, while this thread handles none of them.
    input.write(QByteArray(64 * 1024 - 1, '\n'));
    QThread::msleep(300);
    QElapsedTimer clock;
    clock.start();
    console.reset();
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
}

void tst_Console::endOfInputQuits()
{
    StdinPipe input;
    QVERIFY(input.isValid());
    oxlconsole::Console console;
    QSignalSpy quitSpy(&console, SIGNAL(quit()));
    console.runCalyxen();
    input.write("last");
    // No quit within a while: the input has not ended.
    QTest::qWait(100);
    QCOMPARE(quitSpy.count(), 0);
    input.close();
    QTRY_COMPARE(quitSpy.count(), 1);
}

QTEST_GUILESS_MAIN(tst_Console)
#include "tst_console.moc"
