#include "writeall.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace oxlconsole {

int writeAll(int fd, const char *data, ssize_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written >= 0) {
            data += written;
            size -= written;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd target = {fd, POLLOUT, 0};
            while (::poll(&target, 1, -1) < 0 && errno == EINTR) {
            }
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

} // namespace oxlconsole
