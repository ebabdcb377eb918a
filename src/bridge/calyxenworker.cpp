#include "calyxenworker.h"

#include "linesplitter.h"
#include "standardinput.h"

#include <QThread>

#include <vector>

namespace oxlconsole {

CalyxenWorker::CalyxenWorker() = default;

void CalyxenWorker::doWork()
{
    const auto emitLine = [this](const char *line, qsizetype size) {
        emit messageReceived(QString::fromUtf8(line, int(size)));
    };
    LineSplitter lines;
    std::vector<char> block(64 * 1024);
    qint64 count;
    while ((count = StandardInput::read(block.data(), qint64(block.size()))) > 0)
        lines.feed(block.data(), count, emitLine);
    lines.finish(emitLine);
    thread()->quit();
}

} // namespace oxlconsole
