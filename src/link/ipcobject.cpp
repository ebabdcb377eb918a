#include "ipcobject.h"

#include "checkedconnect.h"

#include <QTextStream>

#include <cerrno>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace oxlconsole {

namespace {

// Qt's socket copies every write into its buffer and turns its write notifier on and off
// around the system call, which costs more than the call itself. While that buffer is empty
// the bytes may go straight to the descriptor; returns how many were taken.
qint64 writeUnbuffered(QLocalSocket *socket, const QByteArray &bytes)
{
#ifdef Q_OS_UNIX
    if (socket->bytesToWrite() > 0)
        return 0;
    ssize_t written;
    do {
        written = ::write(int(socket->socketDescriptor()), bytes.constData(), size_t(bytes.size()));
    } while (written < 0 && errno == EINTR);
    return written < 0 ? 0 : written;
#else
    Q_UNUSED(socket);
    Q_UNUSED(bytes);
    return 0;
#endif
}

} // namespace

IPCObject::IPCObject()
    : m_socket(new QLocalSocket)
{
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
    m_lock.lock();
    m_decoder.reset();
    m_socket->connectToServer(QStringLiteral("OXL"), QIODevice::ReadWrite);
    m_socket->waitForConnected(2000);
    m_lock.unlock();
    receiveDeferred();
}

bool IPCObject::isConnected() const
{
    return m_socket->state() == QLocalSocket::ConnectedState;
}

void IPCObject::sendMessage(const QString &msg)
{
    // Writing to or waiting on a socket that is not connected fails anyway, with a Qt warning
    // on standard error each time; a client that does not read it would in the end be blocked.
    // A socket whose peer went away during a write is still open, only unconnected.
    if (!isConnected())
        return;
    QByteArray bytes = msg.toUtf8();
    bytes.append('\n');
    m_lock.lock();
    const qint64 written = writeUnbuffered(m_socket, bytes);
    // Whatever the descriptor did not take, or any failure, is left to Qt, which reports it.
    if (written < bytes.size()) {
        m_socket->write(bytes.constData() + written, bytes.size() - written);
        m_socket->flush();
        if (isConnected())
            m_socket->waitForBytesWritten(30000);
    }
    m_lock.unlock();
    receiveDeferred();
}

void IPCObject::readyRead()
{
    // Qt can signal readiness from inside the blocking waits of connectToServer() and
    // sendMessage(), which hold the lock; the read is then made as soon as they release it.
    if (!m_lock.tryLock()) {
        m_receivePending = true;
        return;
    }
    receive(false);
    m_lock.unlock();
}

void IPCObject::socketConnected()
{
}

void IPCObject::socketDisconnected()
{
    // Like a read, this can come from inside a blocking wait, before the last bytes are read.
    if (m_lock.tryLock()) {
        endStream();
        m_lock.unlock();
    } else {
        m_endPending = true;
    }
    emit gotDisconnected();
}

void IPCObject::displayError(QLocalSocket::LocalSocketError socketError)
{
    QTextStream out(stdout);
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
        out << tr("The following error occurred: %1.").arg(m_socket->errorString());
    }
}

void IPCObject::receive(bool deferred)
{
    // One buffer of the right size: readAll() would grow its result in steps, copying each time.
    QByteArray bytes(int(m_socket->bytesAvailable()), Qt::Uninitialized);
    bytes.resize(int(qMax<qint64>(0, m_socket->read(bytes.data(), bytes.size()))));
    m_socket->flush();
    if (deferred && bytes.isEmpty())
        return;
    QString text;
    if (m_decoder.decode(bytes, &text))
        emit gotMessage(text);
}

void IPCObject::receiveDeferred()
{
    if (!m_receivePending && !m_endPending)
        return;
    QMutexLocker locker(&m_lock);
    if (m_receivePending) {
        m_receivePending = false;
        receive(true);
    }
    if (m_endPending) {
        m_endPending = false;
        endStream();
    }
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
