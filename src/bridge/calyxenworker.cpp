#include "calyxenworker.h"

#include "linesplitter.h"
#include "readaheadlimit.h"
#include "standardinput.h"

#include <QThread>

#include <vector>

namespace oxlconsole {

CalyxenWorker::CalyxenWorker(ReadAheadLimit *limit, std::exception_ptr *failure)
    : m_limit(limit)
    , m_failure(failure)
{
}

void CalyxenWorker::doWork()
{
    bool interrupted = false;
    const auto emitLine = [this, &interrupted](const char *line, qsizetype size) {
        if (interrupted)
            return;
        const QString msg = QString::fromUtf8(line, int(size));
        if (m_limit->acquire(msg))
            emit messageReceived(msg);
        else
            interrupted = true;
    };
    try {
        LineSplitter lines;
        std::vector<char> block(64 * 1024);
        qint64 count;
        while (!interrupted && (count = StandardInput::read(block.data(), qint64(block.size()))) > 0)
            lines.feed(block.data(), count, emitLine);
        lines.finish(emitLine);
    } catch (...) {
        *m_failure = std::current_exception();
    }
    thread()->quit();
}

} // namespace oxlconsole
