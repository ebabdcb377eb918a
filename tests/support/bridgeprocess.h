#ifndef OXLTEST_BRIDGEPROCESS_H
#define OXLTEST_BRIDGEPROCESS_H

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The bridge run as a client runs it, with a private temporary directory and an in-process
// desktop side to serve the name OXL. On POSIX the socket lies in that directory, so it never
// meets another test's; on Windows it is the pipe \\.\pipe\OXL, shared by every test that
// serves it, and such tests run one at a time.
class BridgeProcess
{
public:
    BridgeProcess();
    ~BridgeProcess();

    QString directory() const { return m_directory.path(); }
    QString socketPath() const { return socketPath(directory()); }
    // The name OXL as a process whose TMPDIR is directory finds it.
#ifdef Q_OS_WIN
    static QString socketPath(const QString &) { return QStringLiteral("OXL"); }
    static constexpr bool sharesSocketName = true;
#else
    static QString socketPath(const QString &directory) { return directory + QStringLiteral("/OXL"); }
    // Whether every bridge finds the same OXL, so that bridges that serve or reach it cannot
    // run at the same time.
    static constexpr bool sharesSocketName = false;
#endif

    bool listen();
    void start(const QStringList &arguments = {QStringLiteral("Calyxen")},
               const QString &program = QStringLiteral(OXLCONSOLE_PATH));
    // Waits for the bridge to connect to the in-process desktop side.
    QLocalSocket *accept(int timeoutMs = 10000);
    // Serves OXL, starts the bridge in its run mode and waits for it to connect.
    QLocalSocket *startConnected();
    // Reads from the desktop side of the link until size bytes have arrived or time is up.
    static QByteArray receive(QLocalSocket *socket, int size, int timeoutMs = 10000);

    void write(const QByteArray &bytes);
    // Writes input from the event loop in blocks, each once the one before has gone into the
    // pipe: on Windows Qt hands a whole write to one pipe operation, which counts as taken only
    // once it has completed, and is cancelled if the channel is closed before.
    void feed(const QByteArray &input);
    // How much of the fed input the bridge has taken off its pipe, or that the pipe holds.
    qint64 taken() const { return m_fed - process.bytesToWrite(); }
    void closeInput();
    // Everything the bridge has written to its standard output so far.
    QByteArray output();
    // What the bridge writes to its standard output for text: on Windows the C runtime's
    // text mode writes each line feed as CR LF.
    static QByteArray written(QByteArray text);
    // Text as the bridge wrote it, less the line ends that its reads added.
    static QByteArray withoutLineEnds(QByteArray output);
#ifdef Q_OS_LINUX
    // The processor time the bridge has used so far.
    qint64 cpuTimeMs() const;
#endif

    QProcess process;
    QLocalServer server;
    // The bridge's environment: this process's own, with TMPDIR set to the private directory.
    QProcessEnvironment environment;

private:
    void feedNextBlock();

    QTemporaryDir m_directory;
    QByteArray m_output;
    QByteArray m_input;
    qint64 m_fed = 0;
};

#endif
