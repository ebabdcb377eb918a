#include "standardinput.h"

#include <QThread>

#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace oxlconsole {

namespace {

// A pipe whose read end becomes readable when a blocked reader is to look at its
// interruption flag.
int wakeDescriptor(int end)
{
    static int fds[2] = {-1, -1};
    static std::once_flag created;
    std::call_once(created, [] {
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            fds[0] = fds[1] = -1;
    });
    return fds[end];
}

void drainWakeups()
{
    char buffer[64];
    while (::read(wakeDescriptor(0), buffer, sizeof buffer) > 0) {
    }
}

} // namespace

qint64 StandardInput::read(char *data, qint64 maxSize)
{
    QThread *self = QThread::currentThread();
    for (;;) {
        if (self->isInterruptionRequested())
            return 0;
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeDescriptor(0), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (fds[1].revents != 0) {
            drainWakeups();
            continue;
        }
        const ssize_t count = ::read(STDIN_FILENO, data, size_t(maxSize));
        if (count >= 0)
            return count;
        if (errno != EINTR && errno != EAGAIN)
            return -1;
    }
}

bool StandardInput::closedByClient()
{
    // A pipe signals the writer's close with POLLHUP, a socket with POLLRDHUP.
#ifdef POLLRDHUP
    constexpr short hangUp = POLLHUP | POLLRDHUP;
#else
    constexpr short hangUp = POLLHUP;
#endif
    pollfd input = {STDIN_FILENO, hangUp, 0};
    return ::poll(&input, 1, 0) > 0 && (input.revents & hangUp) != 0;
}

void StandardInput::interrupt(QThread *reader)
{
    reader->requestInterruption();
    const char wake = 1;
    while (::write(wakeDescriptor(1), &wake, 1) < 0 && errno == EINTR) {
    }
}

} // namespace oxlconsole
