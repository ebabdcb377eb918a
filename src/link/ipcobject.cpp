#include "ipcobject.h"

#include "checkedconnect.h"
#include "linklogging.h"
#include "serverowner.h"
#include "socketio.h"
#include "standardoutput.h"

#include <QDeadlineTimer>
#include <QTextStream>
#include <QThread>

namespace oxlconsole {

namespace {

// How Qt describes a connection it waited for in vain.
QString timedOut()
{
    return QLocalSocket::tr("%1: Socket operation timed out").arg(QLatin1String("QLocalSocket::connectToServer"));
}

} // namespace

IPCObject::IPCObject()
    : m_socket(new QLocalSocket)
{
    SocketIo::prepare(m_socket);
    checkedConnect(m_socket, SIGNAL(connected()), this, SLOT(socketConnected()));
    checkedConnect(m_socket, SIGNAL(disconnected()), this, SLOT(socketDisconnected()));
    checkedConnect(m_socket, SIGNAL(readyRead()), this, SLOT(readyRead()));
    // Qt 6 has only the newer name for the signal that Qt 5.15 still offers as error().
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    checkedConnect(m_socket, SIGNAL(errorOccurred(QLocalSocket::LocalSocketError)),
                   this, SLOT(displayError(QLocalSocket::LocalSocketError)));
#else
    checkedConnect(m_socket, SIGNAL(error(QLocalSocket::LocalSocketError)),
                   this, SLOT(displayError(QLocalSocket::LocalSocketError)));
#endif
}

IPCObject::~IPCObject()
{
    disconnect(m_socket, nullptr, this, nullptr);
    delete m_socket;
}

void IPCObject::connectToServer()
{
    QMutexLocker locker(&m_lock);
    m_decoder.reset();
    QString failure;
    if (!connectDirectly(&failure)) {
        m_socket->connectToServer(QStringLiteral("OXL"), QIODevice::ReadWrite);
        waitForConnected();
        failure = m_socket->errorString();
    }
    // Another user may serve the name first: such a server gets nothing and is not heard.
    // The connection never counted as made, so its close is not announced either.
    if (isConnected() && !ServerOwner::isAccepted(m_socket)) {
        m_socket->blockSignals(true);
        m_socket->abort();
        m_socket->blockSignals(false);
        qCDebug(lcLink) << "connection attempt refused: the server belongs to another user";
        report(QLocalSocket::SocketAccessError, tr("OXL Server belongs to another user"));
        return;
    }
    if (isConnected())
        qCDebug(lcLink) << "connection attempt: connected";
    else
        qCDebug(lcLink).noquote() << "connection attempt failed:" << failure;
}

bool IPCObject::isConnected() const
{
    return m_socket->state() == QLocalSocket::ConnectedState;
}

void IPCObject::sendMessage(const QString &msg)
{
    // Writing to or waiting on a socket that is not connected fails anyway, with a Qt warning
    // each time.
    if (!isConnected())
        return;
    if (msg.size() <= SliceLength) {
        QByteArray bytes = msg.toUtf8();
        bytes.append('\n');
        QMutexLocker locker(&m_lock);
        send(bytes);
        return;
    }
    // The encoding of a whole long text, made beside the text, would cost several times the
    // line; a slice at a time, each written before the next is made, costs next to nothing.
    QMutexLocker locker(&m_lock);
    for (int start = 0; start < msg.size() && isConnected();) {
        int length = qMin(SliceLength, msg.size() - start);
        if (start + length < msg.size() && msg.at(start + length - 1).isHighSurrogate())
            ++length;
        QByteArray bytes = QStringView(msg).mid(start, length).toUtf8();
        start += length;
        if (start == msg.size())
            bytes.append('\n');
        send(bytes);
    }
}

bool IPCObject::waitForSent()
{
    QMutexLocker locker(&m_lock);
    return waitUntilWritten();
}

void IPCObject::noMoreLines()
{
    m_noMoreLines = true;
}

void IPCObject::readyRead()
{
    // The link is used by the main thread alone, so a lock that is taken here is held by this
    // thread's own blocking wait, which already keeps socket calls from interleaving. The bytes
    // are taken at once even then: left in the socket they would pile up for as long as the
    // wait lasts, and be thrown away with the socket should the wait end in a failed write.
    if (!m_lock.tryLock()) {
        receive(true);
        return;
    }
    receive(false);
    m_lock.unlock();
}

void IPCObject::socketConnected()
{
    qCDebug(lcLink).noquote() << "connected to" << m_socket->fullServerName();
}

void IPCObject::socketDisconnected()
{
    qCDebug(lcLink) << "disconnected";
    receiveRemaining();
    endStream();
    emit gotDisconnected();
}

void IPCObject::displayError(QLocalSocket::LocalSocketError socketError)
{
    receiveRemaining();
    report(socketError, m_socket->errorString());
}

void IPCObject::send(const QByteArray &bytes)
{
    const qint64 written = SocketIo::writeDirect(m_socket, bytes);
    if (written == bytes.size())
        return;
    // Whatever the descriptor did not take, or any failure, is left to Qt, which reports it.
    m_socket->write(bytes.constData() + written, bytes.size() - written);
    if (!m_waitGivenUp)
        waitUntilWritten();
}

// Qt's wait returns once some bytes are written. What it leaves in Qt's buffer would be held
// beyond the bound on lines read ahead; and while lines may still come, a wait that ends
// without progress is made again, or each further line would be added to that buffer.
bool IPCObject::waitUntilWritten()
{
    while (isConnected() && m_socket->bytesToWrite() > 0) {
        if (waitForBytesWritten())
            continue;
        emit sendStalled();
        if (m_noMoreLines) {
            m_waitGivenUp = true;
            return false;
        }
    }
    return m_socket->bytesToWrite() == 0;
}

// Qt retries a server whose queue of waiting connections is full in a busy loop for the whole
// wait, and from the event loop after it; the attempt retries every 20 ms instead
// and is abandoned when the time is up, so that the next one starts afresh.
void IPCObject::waitForConnected()
{
    const QDeadlineTimer deadline(ConnectionWaitMs);
    while (m_socket->state() == QLocalSocket::ConnectingState && !deadline.hasExpired()) {
        QThread::msleep(ulong(qBound(qint64(0), deadline.remainingTime(), qint64(20))));
        m_socket->waitForConnected(0);
    }
    if (m_socket->state() != QLocalSocket::ConnectingState)
        return;
    // close() ends the attempt; only abort() then also leaves the connecting state.
    m_socket->close();
    m_socket->abort();
    report(QLocalSocket::SocketTimeoutError, timedOut());
}

// Where Qt would look for the server in another file than its socket, the link connects on
// its own, with the same retries and reports; returns false where Qt is to connect.
bool IPCObject::connectDirectly(QString *failure)
{
    const QDeadlineTimer deadline(ConnectionWaitMs);
    QLocalSocket::LocalSocketError error = QLocalSocket::UnknownSocketError;
    SocketIo::Connection connection;
    while ((connection = SocketIo::connectToServer(m_socket, QStringLiteral("OXL"), &error, failure))
               == SocketIo::Connection::QueueFull
           && !deadline.hasExpired()) {
        QThread::msleep(ulong(qBound(qint64(0), deadline.remainingTime(), qint64(20))));
    }
    if (connection == SocketIo::Connection::LeftToQt)
        return false;
    if (connection == SocketIo::Connection::QueueFull) {
        error = QLocalSocket::SocketTimeoutError;
        *failure = timedOut();
    }
    if (connection != SocketIo::Connection::Made)
        report(error, *failure);
    return true;
}

// Returns whether some bytes were written within the time the desktop application is given.
bool IPCObject::waitForBytesWritten()
{
    return SocketIo::waitForBytesWritten(m_socket, WriteProgressTimeoutMs);
}

void IPCObject::receive(bool insideWait)
{
    const qint64 available = m_socket->bytesAvailable();
    // One buffer of the right size: readAll() would grow its result in steps, copying each time.
    QByteArray bytes(int(available), Qt::Uninitialized);
    if (available > 0)
        bytes.resize(int(qMax<qint64>(0, m_socket->read(bytes.data(), bytes.size()))));
    // A flush inside Qt's own wait could empty the buffer that the wait is writing, which then
    // waits for bytes to read instead.
    if (!insideWait && m_socket->bytesToWrite() > 0)
        m_socket->flush();
    // Qt's Windows pipe can signal readiness once more for bytes already taken; a text the
    // desktop application never sent must not reach the client.
    if (bytes.isEmpty())
        return;
    QString text;
    if (m_decoder.decode(bytes, &text))
        emit gotMessage(text);
}

// Qt throws a socket away, with every byte still unread in it, as soon as a write to it
// fails; it signals the error just before, while those bytes can still be read. A socket that
// has gone may still count bytes it can no longer give: nothing read, nothing written.
void IPCObject::receiveRemaining()
{
    QByteArray bytes;
    if (m_socket->isOpen() && m_socket->bytesAvailable() > 0)
        bytes = m_socket->read(m_socket->bytesAvailable());
    SocketIo::readRemaining(m_socket, &bytes);
    QString text;
    if (!bytes.isEmpty() && m_decoder.decode(bytes, &text))
        emit gotMessage(text);
}

void IPCObject::report(QLocalSocket::LocalSocketError socketError, const QString &description)
{
    QByteArray encoded;
    QTextStream out(&encoded, QIODevice::WriteOnly);
    switch (socketError) {
    case QLocalSocket::ConnectionRefusedError:
        out << tr("OXL Server refused connection");
        break;
    case QLocalSocket::PeerClosedError:
        break;
    case QLocalSocket::ServerNotFoundError:
        out << tr("OXL Server could not be found");
        break;
    default:
        out << tr("The following error occurred: %1.").arg(description);
    }
    out.flush();
    StandardOutput::write(encoded);
}

// No read can complete a character that the connection's last read left unfinished; it is
// written as the conversion replaces it instead of being dropped.
void IPCObject::endStream()
{
    QString text;
    if (m_decoder.finish(&text))
        emit gotMessage(text);
}

} // namespace oxlconsole
