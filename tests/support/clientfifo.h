#ifndef OXLTEST_CLIENTFIFO_H
#define OXLTEST_CLIENTFIFO_H

#include <QByteArray>
#include <QString>

class BridgeProcess;

// A named pipe in the bridge's directory, opened for reading without waiting for a writer,
// whose other end stands for the bridge's standard output or error as a client holds them.
// POSIX only.
class ClientFifo
{
public:
    ClientFifo(const BridgeProcess &bridge, const QString &name);
    ~ClientFifo();

    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }

    // Everything that has arrived so far.
    QByteArray read();
    void close();

private:
    const QString m_path;
    int m_fd = -1;
    QByteArray m_arrived;
};

#endif
