#include "standardoutput.h"

#include <atomic>
#include <cerrno>

namespace oxlconsole {

namespace {

std::atomic<bool> writeFailed{false};

} // namespace

bool StandardOutput::failed()
{
    return writeFailed.load();
}

// A client that closed its end (EPIPE, which the Windows runtime reports too) no longer
// reads: nothing it would have read is lost.
void StandardOutput::recordFailure(int error)
{
    if (error != EPIPE)
        writeFailed = true;
}

} // namespace oxlconsole
