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

signals:
    void gotMessage(const QString &msg);
    void gotDisconnected();

public slots:
    void readyRead();
    void socketConnected();
    void socketDisconnected();
    void displayError(QLocalSocket::LocalSocketError socketError);

private:
    void receive(bool deferred);
    void receiveDeferred();
    void endStream();

    QLocalSocket *m_socket;
    QMutex m_lock;
    bool m_receivePending = false;
    bool m_endPending = false;
    Utf8Decoder m_decoder;
};

} // namespace oxlconsole

#endif
