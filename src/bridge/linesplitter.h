#ifndef OXLCONSOLE_LINESPLITTER_H
#define OXLCONSOLE_LINESPLITTER_H

#include <QByteArray>

#include <cstring>

namespace oxlconsole {

// Cuts a byte stream into lines at each line feed, which belongs to no line. A line that
// spans several blocks is carried over until its line feed arrives.
class LineSplitter
{
public:
    // A line longer than this is handed over in pieces of this size: the text of a longer one
    // would not fit in a QString.
    static constexpr qsizetype DefaultMaximumLength = 256 * 1024 * 1024;

    explicit LineSplitter(qsizetype maximumLength = DefaultMaximumLength)
        : m_maximumLength(maximumLength)
    {
    }

    template <typename Sink>
    void feed(const char *data, qsizetype size, Sink &&sink)
    {
        const char *end = data + size;
        while (data < end) {
            const char *lineFeed = static_cast<const char *>(std::memchr(data, '\n', size_t(end - data)));
            if (!lineFeed) {
                keepPending(data, end - data, sink);
                return;
            }
            if (m_pending.isEmpty() && lineFeed - data <= m_maximumLength) {
                sink(data, qsizetype(lineFeed - data));
            } else {
                keepPending(data, lineFeed - data, sink);
                sink(m_pending.constData(), qsizetype(m_pending.size()));
                m_pending.clear();
            }
            data = lineFeed + 1;
        }
    }

    // Hands over a last line that no line feed ended.
    template <typename Sink>
    void finish(Sink &&sink)
    {
        if (m_pending.isEmpty())
            return;
        sink(m_pending.constData(), qsizetype(m_pending.size()));
        m_pending.clear();
    }

private:
    template <typename Sink>
    void keepPending(const char *data, qsizetype size, Sink &sink)
    {
        while (m_pending.size() + size > m_maximumLength) {
            const qsizetype room = m_maximumLength - m_pending.size();
            m_pending.append(data, int(room));
            sink(m_pending.constData(), qsizetype(m_pending.size()));
            m_pending.clear();
            data += room;
            size -= room;
        }
        m_pending.append(data, int(size));
    }

    const qsizetype m_maximumLength;
    QByteArray m_pending;
};

} // namespace oxlconsole

#endif
