#include "socketio.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace oxlconsole {

namespace {

// The error that Qt's connection gives for a connect() that failed with errorNumber.
QLocalSocket::LocalSocketError connectError(int errorNumber)
{
    switch (errorNumber) {
    case EINVAL:
    case ECONNREFUSED:
        return QLocalSocket::ConnectionRefusedError;
    case ENOENT:
        return QLocalSocket::ServerNotFoundError;
    case EACCES:
    case EPERM:
        return QLocalSocket::SocketAccessError;
    case ETIMEDOUT:
        return QLocalSocket::SocketTimeoutError;
    default:
        return QLocalSocket::UnknownSocketError;
    }
}

// Qt's own words for an error of its connection.
QString describe(QLocalSocket::LocalSocketError error, int errorNumber)
{
    const QLatin1String function("QLocalSocket::connectToServer");
    switch (error) {
    case QLocalSocket::ConnectionRefusedError:
        return QLocalSocket::tr("%1: Connection refused").arg(function);
    case QLocalSocket::ServerNotFoundError:
        return QLocalSocket::tr("%1: Invalid name").arg(function);
    case QLocalSocket::SocketAccessError:
        return QLocalSocket::tr("%1: Socket access error").arg(function);
    case QLocalSocket::SocketTimeoutError:
        return QLocalSocket::tr("%1: Socket operation timed out").arg(function);
    case QLocalSocket::UnsupportedSocketOperationError:
        return QLocalSocket::tr("%1: The socket operation is not supported").arg(function);
    default:
        return QLocalSocket::tr("%1: Unknown error %2").arg(function).arg(errorNumber);
    }
}

SocketIo::Connection failed(QLocalSocket::LocalSocketError error, int errorNumber,
                            QLocalSocket::LocalSocketError *reported, QString *description)
{
    *reported = error;
    *description = describe(error, errorNumber);
    return SocketIo::Connection::Failed;
}

} // namespace

void SocketIo::prepare(QLocalSocket *)
{
}

SocketIo::Connection SocketIo::connectToServer(QLocalSocket *socket, const QString &name,
                                               QLocalSocket::LocalSocketError *error, QString *description)
{
    // Empty or unset, it stands for /tmp, as it does for Qt.
    const QByteArray directory = qgetenv("TMPDIR");
    if (QFile::encodeName(QFile::decodeName(directory)) == directory)
        return Connection::LeftToQt;
    const QByteArray path = directory + '/' + QFile::encodeName(name);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return failed(QLocalSocket::ServerNotFoundError, 0, error, description);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));

    // Non-blocking and closed on exec, as Qt's own is.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return failed(QLocalSocket::UnsupportedSocketOperationError, errno, error, description);
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int errorNumber = errno;
        ::close(fd);
        if (errorNumber == EAGAIN)
            return Connection::QueueFull;
        return failed(connectError(errorNumber), errorNumber, error, description);
    }
    // A socket that refuses the descriptor may have closed it already; Qt's own connection
    // leaves it alone then too.
    if (!socket->setSocketDescriptor(fd, QLocalSocket::ConnectedState, QIODevice::ReadWrite))
        return failed(QLocalSocket::UnknownSocketError, errno, error, description);
    return Connection::Made;
}

qint64 SocketIo::writeDirect(QLocalSocket *socket, const QByteArray &bytes)
{
    if (socket->bytesToWrite() > 0)
        return 0;
    ssize_t written;
    do {
        written = ::write(int(socket->socketDescriptor()), bytes.constData(), size_t(bytes.size()));
    } while (written < 0 && errno == EINTR);
    return written < 0 ? 0 : written;
}

void SocketIo::readRemaining(QLocalSocket *socket, QByteArray *bytes)
{
    const int fd = int(socket->socketDescriptor());
    if (fd < 0)
        return;
    // On the heap: the bridge must run with a small stack.
    std::vector<char> block(64 * 1024);
    ssize_t count;
    while ((count = ::read(fd, block.data(), block.size())) > 0 || (count < 0 && errno == EINTR)) {
        if (count > 0)
            bytes->append(block.data(), int(count));
    }
}

bool SocketIo::waitForBytesWritten(QLocalSocket *socket, int timeoutMs)
{
    // Qt reads inside this wait and signals readyRead from it.
    return socket->waitForBytesWritten(timeoutMs);
}

} // namespace oxlconsole
