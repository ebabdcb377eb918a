#include "socketio.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

namespace oxlconsole {

void SocketIo::prepare(QLocalSocket *socket)
{
    // Qt's Windows pipe sizes each read by what the pipe holds and reads again at each
    // completion, inside a send's waits too: unbounded, one read could take all that the
    // desktop application has written, and the text made of it is held in several copies.
    socket->setReadBufferSize(1024 * 1024);
}

SocketIo::Connection SocketIo::connectToServer(QLocalSocket *, const QString &, QLocalSocket::LocalSocketError *,
                                               QString *)
{
    return Connection::LeftToQt;
}

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
