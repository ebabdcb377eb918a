#include "standardoutput.h"

#include <atomic>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace oxlconsole {

namespace {

std::atomic<bool> writeFailed{false};

} // namespace

void StandardOutput::write(const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size_t(size));
        if (written >= 0) {
            data += written;
            size -= written;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd output = {STDOUT_FILENO, POLLOUT, 0};
            while (::poll(&output, 1, -1) < 0 && errno == EINTR) {
            }
        } else if (errno != EINTR) {
            if (errno != EPIPE)
                writeFailed = true;
            return;
        }
    }
}

bool StandardOutput::failed()
{
    return writeFailed.load();
}

} // namespace oxlconsole
