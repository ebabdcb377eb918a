#include "standardinput.h"

#include <QThread>

#include <climits>
#include <mutex>

#include <io.h>
#include <windows.h>

namespace oxlconsole {

namespace {

// Guards inRead and the reader's last look at its interruption flag before it reads, so that
// an interruption is either seen by the reader or finds it marked as reading.
std::mutex readLock;
bool inRead = false;

bool readerInRead()
{
    const std::lock_guard<std::mutex> lock(readLock);
    return inRead;
}

} // namespace

// _read() keeps the C runtime's text mode: a carriage return before a line feed is dropped,
// and a byte 0x1A from a pipe or file ends the input.
qint64 StandardInput::read(char *data, qint64 maxSize)
{
    {
        const std::lock_guard<std::mutex> lock(readLock);
        if (QThread::currentThread()->isInterruptionRequested())
            return 0;
        inRead = true;
    }
    const int count = ::_read(0, data, unsigned(qMin<qint64>(maxSize, INT_MAX)));
    {
        const std::lock_guard<std::mutex> lock(readLock);
        inRead = false;
    }
    // A read cancelled by interrupt() fails too; the runtime reports a closed pipe as its end.
    if (count < 0 && !QThread::currentThread()->isInterruptionRequested())
        return -1;
    return count > 0 ? count : 0;
}

// A pipe tells that its writer has gone only once it is empty, when the reader sees it too.
bool StandardInput::closedByClient()
{
    return false;
}

void StandardInput::interrupt(QThread *reader)
{
    reader->requestInterruption();
    const auto input = reinterpret_cast<HANDLE>(::_get_osfhandle(0));
    // A reader marked as reading may not have entered _read() yet, and a cancel that comes
    // before finds nothing to cancel: it is repeated until the reader has left read().
    while (readerInRead()) {
        ::CancelIoEx(input, nullptr);
        QThread::msleep(5);
    }
}

} // namespace oxlconsole
