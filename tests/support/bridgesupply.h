#ifndef OXLTEST_BRIDGESUPPLY_H
#define OXLTEST_BRIDGESUPPLY_H

#include <deque>
#include <memory>

class BridgeProcess;

// Bridges in their run mode, each with its in-process desktop side serving OXL, started ahead
// of the tests that take them: every bridge waits 2000 ms for its first attempt, and these
// waits pass while earlier tests run. Where every bridge finds the same OXL (Windows), none is
// started ahead and each is started when it is taken.
class BridgeSupply
{
public:
    explicit BridgeSupply(int ahead);
    ~BridgeSupply();

    // Starts the bridges ahead now rather than at the first take, so that even the first
    // taker finds its bridge connected.
    void startAhead();
    // A started bridge; its accept() gives the desktop side of its connection.
    std::unique_ptr<BridgeProcess> take();

private:
    static std::unique_ptr<BridgeProcess> startOne();

    const int m_ahead;
    std::deque<std::unique_ptr<BridgeProcess>> m_started;
};

#endif
