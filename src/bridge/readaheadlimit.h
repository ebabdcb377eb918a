#ifndef OXLCONSOLE_READAHEADLIMIT_H
#define OXLCONSOLE_READAHEADLIMIT_H

#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <atomic>

namespace oxlconsole {

// Bounds the memory held by lines that the reader has read and the main thread has not yet
// handled, so that a client writing faster than the desktop application takes the lines
// cannot grow the bridge without end. The one reader acquires each line before passing it
// on; the main thread releases it once handled.
class ReadAheadLimit
{
public:
    static constexpr qint64 DefaultCapacity = 512 * 1024;

    explicit ReadAheadLimit(qint64 capacity = DefaultCapacity);

    // Takes the line's share of the capacity. When it does not fit, waits until the main
    // thread has handled at least half of the capacity, so that the two threads do not wake
    // each other for every line. Returns false once interrupt() has been called.
    bool acquire(const QString &line);
    void release(const QString &line);
    void interrupt();

    qint64 capacity() const { return m_capacity; }
    qint64 used() const { return m_used.load(); }

private:
    qint64 cost(const QString &line) const;

    const qint64 m_capacity;
    std::atomic<qint64> m_used{0};
    // The use at or below which a release wakes the waiting reader; -1 while none waits.
    std::atomic<qint64> m_wakeAt{-1};
    std::atomic<bool> m_interrupted{false};
    QMutex m_mutex;
    QWaitCondition m_drained;
};

} // namespace oxlconsole

#endif
