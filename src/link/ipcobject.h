#ifndef OXLCONSOLE_IPCOBJECT_H
#define OXLCONSOLE_IPCOBJECT_H

#include "utf8decoder.h"

#include <QLocalSocket>
#include <QMutex>
#include <QObject>

namespace oxlconsole {

// The connection to the desktop application. Made, used and destroyed on the main thread.
class IPCObject : public QObject
{
    Q_OBJECT

public:
    IPCObject();
    ~IPCObject() override;

    // One attempt; blocks for up to ConnectionWaitMs. A failure is reported on standard output.
    void connectToServer();
    bool isConnected() const;
    // Sends msg and a line end, when connected. Blocks until every byte is written or the
    // connection ends, while texts that arrive meanwhile are still emitted.
    void sendMessage(const QString &msg);
    // Waits until everything sent so far has been written, while the connection lasts and
    // the desktop application keeps taking bytes; returns false when bytes remain unwritten.
    bool waitForSent();
    // Called once no more lines will come. Until then a send waits for as long as the desktop
    // application takes nothing; from then on it gives up after one wait and leaves its bytes
    // to the socket, so that waitForSent() is reached.
    void noMoreLines();

signals:
    // What one read of the socket held, as text; a character split by the read waits for the
    // rest.
    void gotMessage(const QString &msg);
    // The desktop application closed the connection; what it sent before has been emitted.
    void gotDisconnected();
    // Emitted inside a send's wait each time the desktop application has taken nothing for
    // the time it is given, before the send decides whether to wait again.
    void sendStalled();

public slots:
    // The socket's signals, on the main thread.
    void readyRead();
    void socketConnected();
    void socketDisconnected();
    void displayError(QLocalSocket::LocalSocketError socketError);

private:
    // How long one connection attempt may take.
    static constexpr int ConnectionWaitMs = 2000;
    // How long a send waits for the desktop application to take any of its bytes.
    static constexpr int WriteProgressTimeoutMs = 30000;
    // Texts longer than this many characters are encoded and sent in slices.
    static constexpr int SliceLength = 1024 * 1024;

    // Writes bytes and waits until they are written, unless a wait has been given up.
    void send(const QByteArray &bytes);
    bool waitUntilWritten();
    void waitForConnected();
    bool connectDirectly(QString *failure);
    bool waitForBytesWritten();
    void receive(bool insideWait);
    void receiveRemaining();
    void endStream();
    void report(QLocalSocket::LocalSocketError socketError, const QString &description);

    QLocalSocket *m_socket;
    QMutex m_lock;
    Utf8Decoder m_decoder;
    bool m_noMoreLines = false;
    bool m_waitGivenUp = false;
};

} // namespace oxlconsole

#endif
