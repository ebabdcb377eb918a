#include "bridgesupply.h"

#include "bridgeprocess.h"

BridgeSupply::BridgeSupply(int ahead)
    : m_ahead(BridgeProcess::sharesSocketName ? 0 : ahead)
{
}

BridgeSupply::~BridgeSupply() = default;

void BridgeSupply::startAhead()
{
    while (int(m_started.size()) < m_ahead)
        m_started.push_back(startOne());
}

std::unique_ptr<BridgeProcess> BridgeSupply::take()
{
    startAhead();
    m_started.push_back(startOne());
    std::unique_ptr<BridgeProcess> bridge = std::move(m_started.front());
    m_started.pop_front();
    return bridge;
}

std::unique_ptr<BridgeProcess> BridgeSupply::startOne()
{
    auto bridge = std::make_unique<BridgeProcess>();
    if (bridge->listen())
        bridge->start();
    return bridge;
}
