#ifndef OXLCONSOLE_SOCKETIO_H
#define OXLCONSOLE_SOCKETIO_H

#include <QByteArray>
#include <QLocalSocket>
#include <QString>

namespace oxlconsole {

// The link's socket below what Qt offers alike on every platform.
class SocketIo
{
public:
    enum class Connection { LeftToQt, Made, QueueFull, Failed };

    // Sets up a socket the link has just made.
    static void prepare(QLocalSocket *socket);
    // Qt names the server's socket by the temporary directory's name decoded and encoded again,
    // which names another file where the name is not valid in the locale's encoding. There the
    // socket is connected here instead, by the name's own bytes, in one try: LeftToQt elsewhere,
    // QueueFull while the server's queue of waiting connections is full. A failure is described
    // in *error and *description as Qt describes it.
    static Connection connectToServer(QLocalSocket *socket, const QString &name,
                                      QLocalSocket::LocalSocketError *error, QString *description);
    // Qt's socket copies every write into its buffer and turns its write notifier on and off
    // around the system call, which costs more than the call itself. While that buffer is
    // empty the bytes may go straight to the descriptor; returns how many were taken, 0 where
    // that cannot be done.
    static qint64 writeDirect(QLocalSocket *socket, const QByteArray &bytes);
    // Appends what the descriptor still holds, which Qt will not read any more.
    static void readRemaining(QLocalSocket *socket, QByteArray *bytes);
    // Waits up to timeoutMs for bytes to be written, while the bytes that arrive meanwhile are
    // signalled as they come; returns whether some were written.
    static bool waitForBytesWritten(QLocalSocket *socket, int timeoutMs);
};

} // namespace oxlconsole

#endif
