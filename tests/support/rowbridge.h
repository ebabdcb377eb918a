#ifndef OXLTEST_ROWBRIDGE_H
#define OXLTEST_ROWBRIDGE_H

#include <QMetaType>

#include <functional>
#include <memory>

class BridgeProcess;
class Desktop;

// A bridge, and the sample desktop application if the row starts one, set up for a row of a
// data-driven test and handed to the row in a column. Where every bridge has an OXL of its
// own, the set-up runs as the row is declared, so that the 2000 ms waits for a first attempt
// of all rows pass at the same time, and the table holds each row's bridge until the last row
// has run. Where every bridge finds the same OXL (Windows), the set-up runs when the row asks
// for it, and ends the bridge of the row before.
class RowBridge
{
public:
    using SetUp = std::function<bool(RowBridge &)>;

    static std::shared_ptr<RowBridge> prepare(SetUp setUp);
    ~RowBridge();

    // Whether the set-up succeeded; it runs now if it has not yet.
    bool ready();

    BridgeProcess &bridge() { return *m_bridge; }
    Desktop &desktop() { return *m_desktop; }

private:
    explicit RowBridge(SetUp setUp);
    void end();

    SetUp m_setUp;
    bool m_ready = false;
    std::unique_ptr<BridgeProcess> m_bridge;
    std::unique_ptr<Desktop> m_desktop;
};

Q_DECLARE_METATYPE(std::shared_ptr<RowBridge>)

#endif
