#include "desktopserver.h"

#include <QLocalSocket>
#include <QTimer>

DesktopServer::DesktopServer(const DesktopOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_record(options.recordPath)
{
    connect(&m_server, &QLocalServer::newConnection, this, &DesktopServer::acceptConnection);
}

bool DesktopServer::listen()
{
    if (!m_options.recordPath.isEmpty() && !m_record.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    if (m_server.listen(m_options.serverName))
        return true;
    if (m_server.serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // A socket file left behind by a killed server answers no one and may be replaced;
    // a live server keeps its name.
    QLocalSocket probe;
    probe.connectToServer(m_options.serverName);
    if (probe.waitForConnected(1000))
        return false;
    QLocalServer::removeServer(m_options.serverName);
    return m_server.listen(m_options.serverName);
}

QString DesktopServer::errorString() const
{
    return m_record.error() != QFile::NoError ? m_record.errorString() : m_server.errorString();
}

void DesktopServer::acceptConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        m_clients.insert(socket, Client());
        connect(socket, &QLocalSocket::readyRead, this, &DesktopServer::readClient);
        connect(socket, &QLocalSocket::disconnected, this, &DesktopServer::dropClient);
        if (!m_options.greeting.isEmpty())
            socket->write(m_options.greeting + m_options.answerEnd);
        if (!m_options.sendOnConnect.isEmpty())
            socket->write(m_options.sendOnConnect);
        if (m_options.stallMs > 0) {
            // A one-byte buffer makes Qt stop taking bytes off the socket, so the sender's
            // writes back up as they would against a busy application.
            socket->setReadBufferSize(1);
            QTimer::singleShot(m_options.stallMs, socket, [this, socket] { resumeReading(socket); });
        }
    }
}

void DesktopServer::resumeReading(QLocalSocket *socket)
{
    socket->setReadBufferSize(0);
    serve(socket);
}

void DesktopServer::readClient()
{
    auto *socket = qobject_cast<QLocalSocket *>(sender());
    if (socket->readBufferSize() != 1)
        serve(socket);
}

void DesktopServer::serve(QLocalSocket *socket)
{
    const QByteArray bytes = socket->readAll();
    if (m_record.isOpen()) {
        m_record.write(bytes);
        m_record.flush();
    }
    if (m_options.rawEcho && m_options.reply)
        socket->write(bytes);
    Client &client = m_clients[socket];
    client.partialLine.append(bytes);
    int start = 0;
    int end;
    while ((end = client.partialLine.indexOf('\n', start)) >= 0) {
        if (m_options.reply && !m_options.rawEcho)
            socket->write("OXL received: " + client.partialLine.mid(start, end - start) + m_options.answerEnd);
        start = end + 1;
        if (++client.lines == m_options.closeAfter) {
            socket->flush();
            socket->disconnectFromServer();
            return;
        }
    }
    client.partialLine.remove(0, start);
}

void DesktopServer::dropClient()
{
    auto *socket = qobject_cast<QLocalSocket *>(sender());
    m_clients.remove(socket);
    socket->deleteLater();
}
