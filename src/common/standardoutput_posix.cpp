#include "standardoutput.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace oxlconsole {

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
            recordFailure(errno);
            return;
        }
    }
}

} // namespace oxlconsole
