#include "common/checkedconnect.h"

#include <QtTest>

using oxlconsole::checkedConnect;
using oxlconsole::checkedSingleShot;

// A connection by signature text that cannot be made ends the program and names the text.
// Each case runs in a child process, this program started again with the case's name.
class tst_CheckedConnect : public QObject
{
    Q_OBJECT

public:
    static int runCase(const QByteArray &name);

private slots:
    void failedConnectionEndsProgram_data();
    void failedConnectionEndsProgram();
};

int tst_CheckedConnect::runCase(const QByteArray &name)
{
    QTimer timer;
    if (name == "missing signal") {
        checkedConnect(&timer, SIGNAL(elapsed()), qApp, SLOT(quit()));
    } else if (name == "missing slot") {
        checkedConnect(&timer, SIGNAL(timeout()), qApp, SLOT(leave()));
    } else if (name == "arguments do not match") {
        checkedConnect(&timer, SIGNAL(timeout()), &timer, SLOT(setInterval(int)));
    } else if (name == "single shot, missing slot") {
        checkedSingleShot(1, qApp, SLOT(leave()));
    } else if (name == "valid") {
        // Both fire: the single shot starts the timer, whose connection ends the program.
        timer.setSingleShot(true);
        checkedConnect(&timer, SIGNAL(timeout()), qApp, SLOT(quit()));
        checkedSingleShot(1, &timer, SLOT(start()));
        return QCoreApplication::exec();
    }
    return 2;
}

void tst_CheckedConnect::failedConnectionEndsProgram_data()
{
    QTest::addColumn<QByteArray>("diagnostic");
    QTest::newRow("missing signal") << QByteArray("Cannot connect QTimer::elapsed() to QCoreApplication::quit()");
    QTest::newRow("missing slot") << QByteArray("Cannot connect QTimer::timeout() to QCoreApplication::leave()");
    QTest::newRow("arguments do not match") << QByteArray("Cannot connect QTimer::timeout() to QTimer::setInterval(int)");
    QTest::newRow("single shot, missing slot") << QByteArray("Cannot connect QTimer::timeout() to QCoreApplication::leave()");
    QTest::newRow("valid") << QByteArray();
}

void tst_CheckedConnect::failedConnectionEndsProgram()
{
    QFETCH(QByteArray, diagnostic);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--case"), QString::fromLatin1(QTest::currentDataTag())});
    QVERIFY(child.waitForFinished(10000));
    const QByteArray standardError = child.readAllStandardError();
    if (diagnostic.isEmpty()) {
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(standardError, QByteArray());
    } else {
        // An abort: a signal on POSIX, exit status 3 on Windows.
        QVERIFY(child.exitStatus() == QProcess::CrashExit || child.exitCode() != 0);
        QVERIFY2(standardError.contains(diagnostic), standardError.constData());
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--case") == 0)
        return tst_CheckedConnect::runCase(argv[2]);
    tst_CheckedConnect test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_checkedconnect.moc"
