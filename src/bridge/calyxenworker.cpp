#include "calyxenworker.h"

#include "linesplitter.h"
#include "readaheadlimit.h"
#include "standardinput.h"

#include <QThread>

#include <cstring>
#include <vector>

namespace oxlconsole {

CalyxenWorker::CalyxenWorker(ReadAheadLimit *limit, ReaderOutcome *outcome)
    : m_limit(limit)
    , m_outcome(outcome)
{
}

void CalyxenWorker::doWork()
{
    bool interrupted = false;
    bool atStart = true;
    const auto emitLine = [this, &interrupted, &atStart](const char *line, qsizetype size) {
        if (interrupted)
            return;
        QString msg = QString::fromUtf8(line, int(size));
        // The conversion drops a byte order mark at the start of every line; only the first
        // character of the whole input may be one.
        if (!atStart && size >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0 && !msg.startsWith(QChar(0xFEFF)))
            msg.prepend(QChar(0xFEFF));
        atStart = false;
        if (m_limit->acquire(msg))
            emit messageReceived(msg);
        else
            interrupted = true;
    };
    try {
        LineSplitter lines;
        std::vector<char> block(64 * 1024);
        qint64 count = 0;
        while (!interrupted && (count = StandardInput::read(block.data(), qint64(block.size()))) > 0)
            lines.feed(block.data(), count, emitLine);
        m_outcome->readFailed = count < 0;
        lines.finish(emitLine);
    } catch (...) {
        m_outcome->failure = std::current_exception();
    }
    thread()->quit();
}

} // namespace oxlconsole
