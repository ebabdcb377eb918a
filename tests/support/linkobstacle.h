#ifndef OXLTEST_LINKOBSTACLE_H
#define OXLTEST_LINKOBSTACLE_H

#include <QList>
#include <QObject>

class BridgeProcess;

// Something in the way of a bridge's connection attempts where a desktop application would
// serve the name OXL. It owns the descriptors or handles that keep it there, until it goes.
class LinkObstacle
{
    Q_GADGET

public:
    enum Kind { Nothing, StaleSocket, RegularFile, Directory, DatagramSocket, TooLongPath, FullQueue, PipeTaken };
    Q_ENUM(Kind)

    LinkObstacle() = default;
    ~LinkObstacle();
    LinkObstacle(const LinkObstacle &) = delete;
    LinkObstacle &operator=(const LinkObstacle &) = delete;

    // Puts an obstacle of kind in the way of a bridge that has not started yet; false if it
    // could not be made, or has no meaning on this platform.
    bool place(Kind kind, BridgeProcess &bridge);

private:
    // Descriptors on POSIX, handles on Windows.
    QList<qintptr> m_held;
};

#endif
