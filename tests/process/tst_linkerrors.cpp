#include "bridgeprocess.h"
#include "desktop.h"
#include "linkobstacle.h"
#ifndef Q_OS_WIN
#include "otheruser.h"
#endif

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

// A bridge started with an obstacle in its way, and the size its output had each time it grew.
struct ObstructedBridge
{
    // Before the bridge, which may still write as it ends.
    LinkObstacle obstacle;
    bool placed = false;
    QElapsedTimer clock;
    QList<QPair<qint64, int>> growth;
    BridgeProcess bridge;
};
Q_DECLARE_METATYPE(std::shared_ptr<ObstructedBridge>)

// What the client reads when the desktop application's socket cannot be reached.
class tst_LinkErrors : public QObject
{
    Q_OBJECT

private slots:
    void reportPerAttempt_data();
    void reportPerAttempt();
    void closeByDesktopNotReported();
#ifndef Q_OS_WIN
    void serverOfAnotherUser();
#endif

private:
    static std::shared_ptr<ObstructedBridge> startObstructed(LinkObstacle::Kind obstacle);
    // When the first, second, ... report had arrived, from the bridge's start.
    static QList<qint64> arrivals(ObstructedBridge &obstructed, const QByteArray &report);
};

std::shared_ptr<ObstructedBridge> tst_LinkErrors::startObstructed(LinkObstacle::Kind obstacle)
{
    const auto obstructed = std::make_shared<ObstructedBridge>();
    obstructed->placed = obstructed->obstacle.place(obstacle, obstructed->bridge);
    if (!obstructed->placed)
        return obstructed;
    ObstructedBridge *const self = obstructed.get();
    // The reports reach a client reading a pipe while the bridge runs, one per attempt.
    connect(&self->bridge.process, &QProcess::readyReadStandardOutput, &self->bridge.process,
            [self] { self->growth.append({self->clock.elapsed(), self->bridge.output().size()}); });
    self->clock.start();
    self->bridge.start();
    return obstructed;
}

QList<qint64> tst_LinkErrors::arrivals(ObstructedBridge &obstructed, const QByteArray &report)
{
    QList<qint64> result;
    const QByteArray output = obstructed.bridge.output();
    for (const auto &grown : obstructed.growth) {
        const int count = output.left(grown.second).count(report);
        while (result.size() < count)
            result.append(grown.first);
    }
    return result;
}

void tst_LinkErrors::reportPerAttempt_data()
{
    QTest::addColumn<LinkObstacle::Kind>("obstacle");
    QTest::addColumn<QByteArray>("report");
    // How long a single attempt may itself block the bridge.
    QTest::addColumn<int>("attemptMs");
    // Where each bridge has an OXL of its own, every row's bridge starts here, so that they wait
    // for their attempts at the same time; else each row starts its own.
    QTest::addColumn<std::shared_ptr<ObstructedBridge>>("obstructed");
    const auto row = [](const char *name, LinkObstacle::Kind obstacle, const QByteArray &report, int attemptMs) {
        QTest::newRow(name) << obstacle << report << attemptMs
                            << (BridgeProcess::sharesSocketName ? nullptr : startObstructed(obstacle));
    };
    row("no server", LinkObstacle::Nothing, "OXL Server could not be found", 0);
#ifdef Q_OS_WIN
    // Filled in below with the description Qt gives; Qt waits up to 5 s for a free instance.
    row("only pipe instance taken", LinkObstacle::PipeTaken, QByteArray(), 5000);
#else
    row("stale socket file", LinkObstacle::StaleSocket, "OXL Server refused connection", 0);
    row("regular file", LinkObstacle::RegularFile, "OXL Server refused connection", 0);
    row("directory", LinkObstacle::Directory, "OXL Server refused connection", 0);
    row("path too long", LinkObstacle::TooLongPath, "OXL Server could not be found", 0);
    // Filled in below with the description Qt gives for this socket.
    row("datagram socket", LinkObstacle::DatagramSocket, QByteArray(), 0);
    // A desktop application that is alive but accepts no one: each attempt waits its 2000 ms.
    row("queue of waiting connections full", LinkObstacle::FullQueue,
        "The following error occurred: QLocalSocket::connectToServer: Socket operation timed out.", 2000);
#endif
}

void tst_LinkErrors::reportPerAttempt()
{
    QFETCH(LinkObstacle::Kind, obstacle);
    QFETCH(QByteArray, report);
    QFETCH(int, attemptMs);
    QFETCH(std::shared_ptr<ObstructedBridge>, obstructed);
    if (!obstructed)
        obstructed = startObstructed(obstacle);
    QVERIFY(obstructed->placed);
    BridgeProcess &bridge = obstructed->bridge;
    if (report.isEmpty()) {
        // Qt's own description, for an error that the bridge does not report in its own words.
        QLocalSocket probe;
        probe.connectToServer(bridge.socketPath());
        QCOMPARE(probe.state(), QLocalSocket::UnconnectedState);
        QVERIFY(probe.error() != QLocalSocket::ServerNotFoundError);
        QVERIFY(probe.error() != QLocalSocket::ConnectionRefusedError);
        if (obstacle == LinkObstacle::DatagramSocket)
            QCOMPARE(probe.error(), QLocalSocket::UnknownSocketError);
        report = "The following error occurred: " + probe.errorString().toUtf8() + '.';
    }

    const int limitMs = 15000 + 3 * attemptMs;
    QTRY_VERIFY_WITH_TIMEOUT(arrivals(*obstructed, report).size() >= 3 || obstructed->clock.elapsed() > limitMs,
                             limitMs);
    const QList<qint64> arrived = arrivals(*obstructed, report);
    QVERIFY2(arrived.size() >= 3, qPrintable(QString::number(arrived.size())));
    QCOMPARE(bridge.process.state(), QProcess::Running);
    // Nothing but the reports, however many attempts have been made by now.
    const QByteArray output = bridge.output();
    QCOMPARE(output, report.repeated(output.count(report)));
    QVERIFY2(arrived.at(0) >= 1900, qPrintable(QString::number(arrived.at(0))));
    for (int i = 1; i < 3; ++i) {
        const qint64 gap = arrived.at(i) - arrived.at(i - 1);
        QVERIFY2(gap >= 1500 && gap <= 5000 + attemptMs, qPrintable(QString::number(gap)));
    }
#ifdef Q_OS_LINUX
    // Waiting for an attempt must not keep a core busy.
    const qint64 cpuMs = bridge.cpuTimeMs();
    QVERIFY2(cpuMs >= 0 && cpuMs < obstructed->clock.elapsed() / 4, qPrintable(QString::number(cpuMs)));
#endif
}

void tst_LinkErrors::closeByDesktopNotReported()
{
    BridgeProcess bridge;
    QLocalSocket *desktop = bridge.startConnected();
    QVERIFY(desktop);
    desktop->write("bye");
    desktop->waitForBytesWritten(1000);
    desktop->disconnectFromServer();
    QTRY_COMPARE(bridge.output(), BridgeProcess::written("bye\n"));
    QVERIFY(bridge.accept());
    QCOMPARE(bridge.output(), BridgeProcess::written("bye\n"));
}

#ifndef Q_OS_WIN
// Another user can serve OXL before the desktop application does: that server receives
// nothing, nothing it sends reaches the client, and the desktop application is found as soon
// as it serves the name.
void tst_LinkErrors::serverOfAnotherUser()
{
    if (!OtherUser::available())
        QSKIP("Serving OXL as another user (setpriv) takes root; CI runs the tests as root.");
    const QByteArray report("The following error occurred: OXL Server belongs to another user.");
    BridgeProcess bridge;
    // The user nobody serves the socket and keeps its record in the bridge's private directory.
    QVERIFY(OtherUser::takeOver(bridge.directory()));
    Desktop stranger(bridge);
    QVERIFY(stranger.start({"--greeting", "stranger's greeting", "--record", stranger.recordPath()},
                           OtherUser::launcher()));

    QElapsedTimer clock;
    clock.start();
    bridge.start();
    QTRY_COMPARE_WITH_TIMEOUT(bridge.output(), report, 10000);
    const qint64 first = clock.elapsed();
    QVERIFY2(first >= 1900, qPrintable(QString::number(first)));
    // Dropped like any line while the bridge is not connected.
    bridge.write("secret\n");
    QTRY_COMPARE_WITH_TIMEOUT(bridge.output(), report + report, 10000);
    const qint64 gap = clock.elapsed() - first;
    QVERIFY2(gap >= 1500 && gap <= 5000, qPrintable(QString::number(gap)));
    stranger.process.kill();
    QVERIFY(stranger.process.waitForFinished(5000));
    QCOMPARE(stranger.recordedSize(), qint64(0));

    Desktop own(bridge);
    QVERIFY(own.start({}));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.output().endsWith("OXL desktop application ready\n"), 10000);
    bridge.write("hello\n");
    QTRY_VERIFY(bridge.output().endsWith("OXL received: hello\n"));
    QVERIFY(!bridge.output().contains("stranger"));
    QCOMPARE(bridge.process.readAllStandardError(), QByteArray());
}
#endif

QTEST_GUILESS_MAIN(tst_LinkErrors)
#include "tst_linkerrors.moc"
