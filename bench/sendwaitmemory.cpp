// The bridge's memory while it waits in a send and the desktop application streams to it:
// plays the desktop application, which reads nothing of one large client line, so that the
// bridge waits in that send, and meanwhile sends --mib MiB in --write KiB writes; plays the
// client too, reading the bridge's standard output. Prints the bridge's resident size before
// the stream and its peak during it, and how long the stream took to reach the client.
//
//   sendwaitmemory [--mib 64] [--write 64] <path of oxlconsole>
//
// Windows (run under wine by bench/wine-sendwait.sh) and Linux alike.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#include <psapi.h>
#endif

namespace {

struct Memory
{
    qint64 residentKiB = -1;
    qint64 peakKiB = -1;
};

Memory memoryOf(qint64 pid)
{
    Memory memory;
#ifdef Q_OS_WIN
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, DWORD(pid));
    if (!process)
        return memory;
    PROCESS_MEMORY_COUNTERS counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        memory.residentKiB = qint64(counters.WorkingSetSize / 1024);
        memory.peakKiB = qint64(counters.PeakWorkingSetSize / 1024);
    }
    CloseHandle(process);
#else
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return memory;
    for (const QByteArray &line : status.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 2 && fields.at(0) == "VmRSS:")
            memory.residentKiB = fields.at(1).toLongLong();
        else if (fields.size() >= 2 && fields.at(0) == "VmHWM:")
            memory.peakKiB = fields.at(1).toLongLong();
    }
#endif
    return memory;
}

double megabytes(qint64 kib)
{
    return double(kib) * 1024 / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption mibOption(QStringLiteral("mib"), QStringLiteral("MiB the desktop side sends."),
                                       QStringLiteral("n"), QStringLiteral("64"));
    const QCommandLineOption writeOption(QStringLiteral("write"), QStringLiteral("KiB per desktop write."),
                                         QStringLiteral("n"), QStringLiteral("64"));
    parser.addOptions({mibOption, writeOption});
    parser.addPositionalArgument(QStringLiteral("bridge"), QStringLiteral("The oxlconsole executable."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);
    const qint64 total = parser.value(mibOption).toLongLong() * 1024 * 1024;
    const qint64 writeSize = parser.value(writeOption).toLongLong() * 1024;

    QTemporaryDir directory;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), directory.path());
#ifdef Q_OS_WIN
    const QString socketName = QStringLiteral("OXL");
#else
    const QString socketName = directory.filePath(QStringLiteral("OXL"));
#endif

    // The desktop side has a thread of its own, as the desktop application has a process: the
    // client's reads do not hold up its writes.
    QThread desktopThread;
    QObject desktopContext;
    desktopContext.moveToThread(&desktopThread);
    desktopThread.start();
    QLocalServer *server = nullptr;
    QLocalSocket *desktop = nullptr;
    std::atomic<bool> listening{false};
    std::atomic<bool> connected{false};
    qint64 sent = 0;
    const QByteArray chunk(int(writeSize), 'd');
    const auto sendMore = [&] {
        if (sent == total || desktop->bytesToWrite() > 0)
            return;
        const qint64 size = qMin(writeSize, total - sent);
        desktop->write(chunk.constData(), size);
        sent += size;
    };
    QMetaObject::invokeMethod(&desktopContext, [&] {
        server = new QLocalServer(&desktopContext);
        QObject::connect(server, &QLocalServer::newConnection, &desktopContext, [&] {
            desktop = server->nextPendingConnection();
            // The desktop side takes no more than a byte of what the bridge sends.
            desktop->setReadBufferSize(1);
            connected = true;
        });
        listening = server->listen(socketName);
    }, Qt::BlockingQueuedConnection);
    if (!listening) {
        std::fprintf(stderr, "sendwaitmemory: cannot serve %s\n", qPrintable(socketName));
        return 1;
    }

    QProcess bridge;
    bridge.setProcessEnvironment(environment);
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bridge.start(parser.positionalArguments().first(), {QStringLiteral("Calyxen")});
    QDeadlineTimer connectDeadline(10000);
    while (bridge.state() != QProcess::NotRunning && !connected && !connectDeadline.hasExpired())
        QThread::msleep(20);
    if (!connected) {
        std::fprintf(stderr, "sendwaitmemory: the bridge did not connect\n");
        return 1;
    }

    QElapsedTimer clock;
    qint64 streamEnd = -1;
    qint64 received = 0;
    qint64 sampledPeakKiB = 0;
    Memory idle;
    QObject::connect(&bridge, &QProcess::readyReadStandardOutput, [&] {
        const QByteArray bytes = bridge.readAllStandardOutput();
        received += bytes.size() - bytes.count('\n') - bytes.count('\r');
        if (received >= total && streamEnd < 0) {
            streamEnd = clock.elapsed();
            app.quit();
        }
    });
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        sampledPeakKiB = qMax(sampledPeakKiB, memoryOf(bridge.processId()).residentKiB);
    });
    QTimer::singleShot(500, [&] {
        idle = memoryOf(bridge.processId());
        // More than any pipe holds: the bridge waits in this send for its whole bound.
        bridge.write(QByteArray(4 * 1024 * 1024, 'x') + '\n');
        sampler.start(20);
        QTimer::singleShot(500, [&] {
            clock.start();
            QMetaObject::invokeMethod(&desktopContext, [&] {
                QObject::connect(desktop, &QLocalSocket::bytesWritten, &desktopContext, sendMore);
                sendMore();
            });
        });
    });
    QTimer::singleShot(120000, [&] { app.quit(); });
    app.exec();

    const Memory end = memoryOf(bridge.processId());
    const qint64 peakKiB = qMax(sampledPeakKiB, end.peakKiB);
    bridge.kill();
    bridge.waitForFinished(5000);
    QMetaObject::invokeMethod(&desktopContext, [&] { delete server; }, Qt::BlockingQueuedConnection);
    desktopThread.quit();
    desktopThread.wait();
    if (streamEnd < 0) {
        std::printf("stream incomplete: %lld of %lld bytes reached the client\n", received, total);
        return 1;
    }
    std::printf("resident before the stream %.1f MB, peak during it %.1f MB (%.2f times), "
                "%lld MiB reached the client in %.2f s\n",
                megabytes(idle.residentKiB), megabytes(peakKiB), double(peakKiB) / double(idle.residentKiB),
                total / (1024 * 1024), double(streamEnd) / 1000);
    return 0;
}
