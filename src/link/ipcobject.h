#ifndef OXLCONSOLE_IPCOBJECT_H
#define OXLCONSOLE_IPCOBJECT_H

#include "utf8decoder.h"

#include <QLocalSocket>
#include <QMutex>
#include <QObject>

namespace oxlconsole {

class IPCObject : public QObject
{
    Q_OBJECT

public:
    IPCObject();
    ~IPCObject() override;

    void connectToServer();
    bool isConnected() const;
    void sendMessage(const QString &msg);
    // Waits until everything sent so far has been written, while the connection lasts and
    // the desktop application keeps taking bytes.
    void waitForSent();

signals:
    void gotMessage(const QString &msg);
    void gotDisconnected();

public slots:
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

    // Writes bytes and, if wait, waits until they are written; returns false when the desktop
    // application took none of them for the time it is given.
    bool send(const QByteArray &bytes, bool wait);
    bool waitUntilWritten();
    void waitForConnected();
    bool waitForBytesWritten();
    void receive(bool insideWait);
    void receiveRemaining();
    void endStream();
    void report(QLocalSocket::LocalSocketError socketError, const QString &description);

    QLocalSocket *m_socket;
    QMutex m_lock;
    Utf8Decoder m_decoder;
};

} // namespace oxlconsole

#endif
