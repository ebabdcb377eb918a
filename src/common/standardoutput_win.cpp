#include "standardoutput.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace oxlconsole {

namespace {

std::atomic<bool> writeFailed{false};

} // namespace

// The C runtime's stream keeps the text mode of standard output: each line feed goes out as
// CR LF. Its error state would otherwise stay set and silence every later write.
void StandardOutput::write(const char *data, qint64 size)
{
    errno = 0;
    if (std::fwrite(data, 1, size_t(size), stdout) != size_t(size) || std::fflush(stdout) != 0) {
        // The runtime reports a pipe whose reader has gone as EPIPE.
        if (errno != EPIPE)
            writeFailed = true;
        std::clearerr(stdout);
    }
}

bool StandardOutput::failed()
{
    return writeFailed.load();
}

} // namespace oxlconsole
