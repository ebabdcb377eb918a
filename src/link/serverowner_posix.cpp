#include "serverowner.h"

#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace oxlconsole {

// The kernel records the server's credentials when it starts listening; the server cannot
// change what the bridge reads here afterwards.
bool ServerOwner::isAccepted(const QLocalSocket *socket)
{
    const int descriptor = int(socket->socketDescriptor());
#ifdef Q_OS_LINUX
    ucred peer = {};
    socklen_t size = sizeof peer;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer)
        return false;
    return isAcceptedUser(peer.uid);
#else
    uid_t user;
    gid_t group;
    if (::getpeereid(descriptor, &user, &group) != 0)
        return false;
    return isAcceptedUser(user);
#endif
}

bool ServerOwner::isAcceptedUser(uid_t user)
{
    return user == ::geteuid() || user == 0;
}

} // namespace oxlconsole
