#include "socketio.h"

#include <QLocalSocket>

#include <cerrno>
#include <vector>

#include <unistd.h>

namespace oxlconsole {

void SocketIo::prepare(QLocalSocket *)
{
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
