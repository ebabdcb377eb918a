#include "socketio.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

namespace oxlconsole {

qint64 SocketIo::writeDirect(QLocalSocket *, const QByteArray &)
{
    return 0;
}

void SocketIo::readRemaining(QLocalSocket *, QByteArray *)
{
}

bool SocketIo::waitForBytesWritten(QLocalSocket *socket, int timeoutMs)
{
    // Qt's Windows pipe reads while it waits, but signals what it read, and notices that the
    // pipe is broken, only from the event loop or a wait for reading: the wait is cut into short
    // ones, with such a look between them.
    if (socket->flush())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (socket->waitForBytesWritten(int(qBound(qint64(0), deadline.remainingTime(), qint64(50)))))
            return true;
        socket->waitForReadyRead(0);
        if (socket->state() != QLocalSocket::ConnectedState || socket->bytesToWrite() == 0 || deadline.hasExpired())
            return false;
    }
}

} // namespace oxlconsole
