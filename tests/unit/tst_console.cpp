#include "bridge/console.h"
#include "stdinpipe.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>

#include <memory>

// The controller's own life: its reader and its end.
class tst_Console : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void teardownWhileReaderBlocked();
    void teardownWhileReaderHeldBack();
    void endOfInputQuits();

private:
    QLocalSocket *connectConsole(oxlconsole::Console &console);

    QTemporaryDir m_directory;
    QLocalServer m_server;
};

void tst_Console::initTestCase()
{
    // The name OXL is served in a directory of this test's own, by the test itself where a test
    // needs it.
    QVERIFY(m_directory.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_directory.path()));
}

void tst_Console::cleanup()
{
    m_server.close();
}

// The lines that reach the desktop application show the controller's progress: each one
// comes after everything that the reader and the controller queued before it.
QLocalSocket *tst_Console::connectConsole(oxlconsole::Console &console)
{
    if (!m_server.isListening() && !m_server.listen(QStringLiteral("OXL")))
        return nullptr;
    console.runOXL();
    if (!m_server.waitForNewConnection(5000))
        return nullptr;
    return m_server.nextPendingConnection();
}

// Destroying the controller must neither hang on the blocked reader nor abort.
void tst_Console::teardownWhileReaderBlocked()
{
    StdinPipe input;
    QVERIFY(input.isValid());
    auto console = std::make_unique<oxlconsole::Console>();
    QSignalSpy quitSpy(console.get(), SIGNAL(quit()));
    QLocalSocket *desktop = connectConsole(*console);
    QVERIFY(desktop);
    console->runCalyxen();
    // Once it has passed the line on, the reader is back in its read.
    input.write("a line\n");
    QTRY_COMPARE(desktop->bytesAvailable(), qint64(7));
    QCOMPARE(desktop->readAll(), QByteArray("a line\n"));
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
    // Nothing outside the controller shows its reader waiting, and this thread must not handle
    // events meanwhile; the reader fills the limit within a few milliseconds.
    QThread::msleep(100);
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
    QLocalSocket *desktop = connectConsole(console);
    QVERIFY(desktop);
    console.runCalyxen();
    input.write("first\nlast");
    QTRY_COMPARE(desktop->bytesAvailable(), qint64(6));
    // A close by the desktop application ends the bridge once the input has ended, and not
    // before: the link connects again only once it has seen the close.
    desktop->disconnectFromServer();
    QTRY_VERIFY((console.runOXL(), m_server.waitForNewConnection(0)));
    QCOMPARE(quitSpy.count(), 0);
    desktop = m_server.nextPendingConnection();
    input.close();
    QTRY_COMPARE(desktop->bytesAvailable(), qint64(5));
    QCOMPARE(desktop->readAll(), QByteArray("last\n"));
    desktop->disconnectFromServer();
    QTRY_COMPARE(quitSpy.count(), 1);
}

QTEST_GUILESS_MAIN(tst_Console)
#include "tst_console.moc"
