#include "readaheadlimit.h"

#include <QMutexLocker>

#include <algorithm>

namespace oxlconsole {

namespace {

// What a queued line holds besides its characters: the text's header, the posted event and
// the copy of its argument.
constexpr qint64 LineOverhead = 128;

} // namespace

ReadAheadLimit::ReadAheadLimit(qint64 capacity)
    : m_capacity(capacity)
{
}

qint64 ReadAheadLimit::cost(const QString &line) const
{
    // A line larger than the whole capacity must still pass, alone.
    return std::min(m_capacity, qint64(line.size()) * qint64(sizeof(QChar)) + LineOverhead);
}

bool ReadAheadLimit::acquire(const QString &line)
{
    const qint64 share = cost(line);
    // Only this thread adds to m_used, so what fits now still fits when added.
    if (m_used.load() + share > m_capacity) {
        QMutexLocker locker(&m_mutex);
        const qint64 wakeAt = std::min(m_capacity / 2, m_capacity - share);
        m_wakeAt = wakeAt;
        while (!m_interrupted && m_used.load() > wakeAt)
            m_drained.wait(&m_mutex);
        m_wakeAt = -1;
    }
    m_used += share;
    return !m_interrupted;
}

void ReadAheadLimit::release(const QString &line)
{
    // The waiting reader sets m_wakeAt before it looks at m_used, and this looks at m_wakeAt
    // after lowering m_used: one of the two sees the other, so no wake-up is lost.
    const qint64 used = m_used -= cost(line);
    if (used > m_wakeAt.load())
        return;
    QMutexLocker locker(&m_mutex);
    m_drained.wakeAll();
}

void ReadAheadLimit::interrupt()
{
    QMutexLocker locker(&m_mutex);
    m_interrupted = true;
    m_drained.wakeAll();
}

} // namespace oxlconsole
