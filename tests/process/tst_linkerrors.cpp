#include "bridgeprocess.h"
#include "desktop.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

// What the client reads when the desktop application's socket cannot be reached.
class tst_LinkErrors : public QObject
{
    Q_OBJECT

public:
    enum Obstacle { Nothing, StaleSocket, RegularFile, Directory, DatagramSocket, TooLongPath, FullQueue, PipeTaken };
    Q_ENUM(Obstacle)

private slots:
    void reportPerAttempt_data();
    void reportPerAttempt();
    void closeByDesktopNotReported();
#ifndef Q_OS_WIN
    void serverOfAnotherUser();

private:
    static int bindUnixSocket(const QString &path, int type);
#endif
};

#ifndef Q_OS_WIN
int tst_LinkErrors::bindUnixSocket(const QString &path, int type)
{
    const int fd = ::socket(AF_UNIX, type, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
#endif

void tst_LinkErrors::reportPerAttempt_data()
{
    QTest::addColumn<Obstacle>("obstacle");
    QTest::addColumn<QByteArray>("report");
    // How long a single attempt may itself block the bridge.
    QTest::addColumn<int>("attemptMs");
    QTest::newRow("no server") << Nothing << QByteArray("OXL Server could not be found") << 0;
#ifdef Q_OS_WIN
    // Filled in below with the description Qt gives; Qt waits up to 5 s for a free instance.
    QTest::newRow("only pipe instance taken") << PipeTaken << QByteArray() << 5000;
#else
    QTest::newRow("stale socket file") << StaleSocket << QByteArray("OXL Server refused connection") << 0;
    QTest::newRow("regular file") << RegularFile << QByteArray("OXL Server refused connection") << 0;
    QTest::newRow("directory") << Directory << QByteArray("OXL Server refused connection") << 0;
    QTest::newRow("path too long") << TooLongPath << QByteArray("OXL Server could not be found") << 0;
    // Filled in below with the description Qt gives for this socket.
    QTest::newRow("datagram socket") << DatagramSocket << QByteArray() << 0;
    // A desktop application that is alive but accepts no one: each attempt waits its 2000 ms.
    QTest::newRow("queue of waiting connections full") << FullQueue
        << QByteArray("The following error occurred: QLocalSocket::connectToServer: Socket operation timed out.")
        << 2000;
#endif
}

void tst_LinkErrors::reportPerAttempt()
{
    QFETCH(Obstacle, obstacle);
    QFETCH(QByteArray, report);
    QFETCH(int, attemptMs);
    BridgeProcess bridge;
#ifdef Q_OS_WIN
    HANDLE pipeServer = INVALID_HANDLE_VALUE;
    HANDLE pipeClient = INVALID_HANDLE_VALUE;
    const auto closePipe = qScopeGuard([&] {
        CloseHandle(pipeClient);
        CloseHandle(pipeServer);
    });
#else
    int socketFd = -1;
    int waitingFd = -1;
#endif
    switch (obstacle) {
    case Nothing:
        break;
#ifdef Q_OS_WIN
    case PipeTaken: {
        const wchar_t name[] = L"\\\\.\\pipe\\OXL";
        pipeServer = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
        QVERIFY(pipeServer != INVALID_HANDLE_VALUE);
        pipeClient = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(pipeClient != INVALID_HANDLE_VALUE);
        QLocalSocket probe;
        probe.connectToServer(bridge.socketPath());
        QCOMPARE(probe.state(), QLocalSocket::UnconnectedState);
        QVERIFY(probe.error() != QLocalSocket::ServerNotFoundError);
        QVERIFY(probe.error() != QLocalSocket::ConnectionRefusedError);
        report = "The following error occurred: " + probe.errorString().toUtf8() + '.';
        break;
    }
    default:
        QFAIL("this obstacle exists only on POSIX");
#else
    case StaleSocket:
        socketFd = bindUnixSocket(bridge.socketPath(), SOCK_STREAM);
        QVERIFY(socketFd >= 0);
        break;
    case RegularFile: {
        QFile file(bridge.socketPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        break;
    }
    case Directory:
        QVERIFY(QDir(bridge.directory()).mkdir(QStringLiteral("OXL")));
        break;
    case DatagramSocket: {
        socketFd = bindUnixSocket(bridge.socketPath(), SOCK_DGRAM);
        QVERIFY(socketFd >= 0);
        QLocalSocket probe;
        probe.connectToServer(bridge.socketPath());
        QCOMPARE(probe.error(), QLocalSocket::UnknownSocketError);
        report = "The following error occurred: " + probe.errorString().toUtf8() + '.';
        break;
    }
    case FullQueue: {
        socketFd = bindUnixSocket(bridge.socketPath(), SOCK_STREAM);
        QVERIFY(socketFd >= 0);
        QCOMPARE(::listen(socketFd, 0), 0);
        // One connection waits to be accepted, and the queue takes no second one.
        waitingFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(bridge.socketPath()).constData(), sizeof address.sun_path);
        QCOMPARE(::connect(waitingFd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        break;
    }
    case TooLongPath: {
        // Longer than the 108 bytes that a Unix socket address holds.
        const QString deep = bridge.directory() + QLatin1Char('/') + QString(120, QLatin1Char('d'));
        QVERIFY(QDir().mkpath(deep));
        bridge.environment.insert(QStringLiteral("TMPDIR"), deep);
        break;
    }
    case PipeTaken:
        QFAIL("this obstacle exists only on Windows");
#endif
    }

    QElapsedTimer clock;
    clock.start();
    bridge.start();
    QList<qint64> arrivals;
    // The reports reach a client reading a pipe while the bridge runs, one per attempt.
    while (arrivals.size() < 3 && clock.elapsed() < 15000 + 3 * attemptMs) {
        bridge.process.waitForReadyRead(50);
        const int count = bridge.output().count(report);
        while (arrivals.size() < count)
            arrivals.append(clock.elapsed());
    }
    QCOMPARE(arrivals.size(), 3);
    QCOMPARE(bridge.process.state(), QProcess::Running);
    QCOMPARE(bridge.output(), report + report + report);
    QVERIFY2(arrivals.at(0) >= 1900, qPrintable(QString::number(arrivals.at(0))));
    for (int i = 1; i < arrivals.size(); ++i) {
        const qint64 gap = arrivals.at(i) - arrivals.at(i - 1);
        QVERIFY2(gap >= 1500 && gap <= 5000 + attemptMs, qPrintable(QString::number(gap)));
    }
#ifdef Q_OS_LINUX
    // Waiting for an attempt must not keep a core busy.
    const qint64 cpuMs = bridge.cpuTimeMs();
    QVERIFY2(cpuMs >= 0 && cpuMs < clock.elapsed() / 4, qPrintable(QString::number(cpuMs)));
#endif
#ifndef Q_OS_WIN
    if (socketFd >= 0)
        ::close(socketFd);
    if (waitingFd >= 0)
        ::close(waitingFd);
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
    if (::geteuid() != 0)
        QSKIP("Serving OXL as another user (setpriv) takes root; CI runs the tests as root.");
    const QByteArray report("The following error occurred: OXL Server belongs to another user.");
    BridgeProcess bridge;
    // The user nobody serves the socket and keeps its record in the bridge's private directory.
    QCOMPARE(::chown(QFile::encodeName(bridge.directory()).constData(), 65534, 65534), 0);
    Desktop stranger(bridge);
    QVERIFY(stranger.start({"--greeting", "stranger's greeting", "--record", stranger.recordPath()},
                           {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}));

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
