#ifndef OXLCONSOLE_SERVEROWNER_H
#define OXLCONSOLE_SERVEROWNER_H

#include <QtGlobal>

#ifndef Q_OS_WIN
#include <sys/types.h>
#endif

QT_BEGIN_NAMESPACE
class QLocalSocket;
QT_END_NAMESPACE

namespace oxlconsole {

// The user who runs the process at the other end of the link. Every local user can serve the
// name OXL before the desktop application does; only a server run by the bridge's own user,
// or by the system, may receive the client's lines and answer them.
class ServerOwner
{
public:
    // Whether the server of the connected socket runs as an accepted user; false as well when
    // that cannot be found out.
    static bool isAccepted(const QLocalSocket *socket);

#ifdef Q_OS_WIN
    // user is a SID: accepted when it is this process's user or LocalSystem.
    static bool isAcceptedUser(void *user);
#else
    // Accepted when user is this process's effective user id, or root.
    static bool isAcceptedUser(uid_t user);
#endif
};

} // namespace oxlconsole

#endif
