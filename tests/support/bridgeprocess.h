#ifndef OXLTEST_BRIDGEPROCESS_H
#define OXLTEST_BRIDGEPROCESS_H

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The bridge run as a client runs it, with a private temporary directory so that its socket
// name OXL never meets another test's, and an in-process desktop side to serve that name.
class BridgeProcess
{
public:
    BridgeProcess();
    ~BridgeProcess();

    QString directory() const { return m_directory.path(); }
    QString socketPath() const { return m_directory.filePath(QStringLiteral("OXL")); }

    bool listen();
    void start(const QStringList &arguments = {QStringLiteral("Calyxen")},
               const QString &program = QStringLiteral(OXLCONSOLE_PATH));
    // Waits for the bridge to connect to the in-process desktop side.
    QLocalSocket *accept(int timeoutMs = 10000);
    // Reads from the desktop side of the link until size bytes have arrived or time is up.
    static QByteArray receive(QLocalSocket *socket, int size, int timeoutMs = 10000);

    void write(const QByteArray &bytes);
    void closeInput();
    // Everything the bridge has written to its standard output so far.
    QByteArray output();

    QProcess process;
    QLocalServer server;
    // The bridge's environment: this process's own, with TMPDIR set to the private directory.
    QProcessEnvironment environment;

private:
    QTemporaryDir m_directory;
    QByteArray m_output;
};

#endif
