#ifndef OXLCONSOLE_LINESPLITTER_H
#define OXLCONSOLE_LINESPLITTER_H

#include "utf8.h"

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
                handOver(sink);
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
        handOver(sink);
    }

private:
    template <typename Sink>
    void keepPending(const char *data, qsizetype size, Sink &sink)
    {
        while (m_pending.size() + size > m_maximumLength) {
            const qsizetype room = m_maximumLength - m_pending.size();
            m_pending.append(data, int(room));
            data += room;
            size -= room;
            // A character that the cut would split goes whole into the next piece.
            const qsizetype carried = unfinishedCharacter(*data);
            const QByteArray carry = m_pending.right(int(carried));
            m_pending.chop(int(carried));
            handOver(sink);
            m_pending = carry;
        }
        m_pending.append(data, int(size));
    }

    // The bytes at the end of the pending piece that begin a character which next, the first
    // byte after the cut, continues; never the whole piece.
    qsizetype unfinishedCharacter(char next) const
    {
        const int carried = Utf8::partedByCut(m_pending, next);
        return carried < m_pending.size() ? carried : 0;
    }

    template <typename Sink>
    void handOver(Sink &sink)
    {
        // The text made of a long line costs twice its bytes; room the bytes did not fill would
        // only add to that while both are held.
        if (m_pending.capacity() > 2 * m_pending.size() + 64 * 1024)
            m_pending.squeeze();
        sink(m_pending.constData(), qsizetype(m_pending.size()));
        m_pending.clear();
    }

    const qsizetype m_maximumLength;
    QByteArray m_pending;
};

} // namespace oxlconsole

#endif
