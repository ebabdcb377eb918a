#include "linkobstacle.h"

#include "bridgeprocess.h"

#include <QDir>
#include <QFile>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

sockaddr_un addressOf(const QString &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    return address;
}

} // namespace

LinkObstacle::~LinkObstacle()
{
    for (const qintptr fd : qAsConst(m_held))
        ::close(int(fd));
}

bool LinkObstacle::place(Kind kind, BridgeProcess &bridge)
{
    const QString path = bridge.socketPath();
    const auto socketAt = [&](int type) {
        const int fd = ::socket(AF_UNIX, type, 0);
        if (fd >= 0)
            m_held.append(fd);
        return fd;
    };
    const sockaddr_un address = addressOf(path);
    const auto *name = reinterpret_cast<const sockaddr *>(&address);
    switch (kind) {
    case Nothing:
        return true;
    case StaleSocket:
    case DatagramSocket: {
        // Bound, never listening: a file that refuses connections, or speaks datagrams.
        const int fd = socketAt(kind == StaleSocket ? SOCK_STREAM : SOCK_DGRAM);
        return fd >= 0 && ::bind(fd, name, sizeof address) == 0;
    }
    case RegularFile: {
        QFile file(path);
        return file.open(QIODevice::WriteOnly);
    }
    case Directory:
        return QDir(bridge.directory()).mkdir(QStringLiteral("OXL"));
    case TooLongPath: {
        // Longer than the 108 bytes that a Unix socket address holds.
        const QString deep = bridge.directory() + QLatin1Char('/') + QString(120, QLatin1Char('d'));
        bridge.environment.insert(QStringLiteral("TMPDIR"), deep);
        return QDir().mkpath(deep);
    }
    case FullQueue: {
        // One connection waits to be accepted, and the queue takes no second one.
        const int server = socketAt(SOCK_STREAM);
        if (server < 0 || ::bind(server, name, sizeof address) != 0 || ::listen(server, 0) != 0)
            return false;
        const int waiting = socketAt(SOCK_STREAM);
        return waiting >= 0 && ::connect(waiting, name, sizeof address) == 0;
    }
    case PipeTaken:
        break;
    }
    return false;
}
