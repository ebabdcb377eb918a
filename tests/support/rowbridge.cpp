#include "rowbridge.h"

#include "bridgeprocess.h"
#include "desktop.h"

namespace {

// The row bridge whose set-up ran last, where only one may run at a time.
RowBridge *running = nullptr;

} // namespace

RowBridge::RowBridge(SetUp setUp)
    : m_setUp(std::move(setUp))
    , m_bridge(std::make_unique<BridgeProcess>())
    , m_desktop(std::make_unique<Desktop>(*m_bridge))
{
}

RowBridge::~RowBridge()
{
    end();
}

std::shared_ptr<RowBridge> RowBridge::prepare(SetUp setUp)
{
    std::shared_ptr<RowBridge> row(new RowBridge(std::move(setUp)));
    if (!BridgeProcess::sharesSocketName)
        row->ready();
    return row;
}

bool RowBridge::ready()
{
    if (m_setUp) {
        if (BridgeProcess::sharesSocketName) {
            if (running)
                running->end();
            running = this;
        }
        m_ready = m_setUp(*this);
        m_setUp = nullptr;
    }
    return m_ready;
}

void RowBridge::end()
{
    if (running == this)
        running = nullptr;
    // The desktop application first, as the bridge ends at once once its link is down.
    m_desktop.reset();
    m_bridge.reset();
}
