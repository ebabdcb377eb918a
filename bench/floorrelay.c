/*
 * The least work a relay with the bridge's framing can do, as a yardstick for the bridge:
 * single-threaded around poll(2), one write(2) per client line (its bytes and the line feed),
 * and one write(2) per socket read (its bytes up to the first zero byte, and a line feed).
 * It connects at once to $TMPDIR/OXL and ends at the end of standard input.
 */
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

enum { BlockSize = 64 * 1024 };

static void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += written;
        size -= (size_t)written;
    }
}

static int connectToDesktop(void)
{
    const char *directory = getenv("TMPDIR");
    struct sockaddr_un address = {.sun_family = AF_UNIX};
    snprintf(address.sun_path, sizeof address.sun_path, "%s/OXL", directory ? directory : "/tmp");
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, (const struct sockaddr *)&address, sizeof address) != 0) {
        perror("floorrelay: connect");
        exit(1);
    }
    return fd;
}

/* A line that spans reads is gathered here, with room for its line feed. */
struct Pending {
    char *data;
    size_t size;
    size_t capacity;
};

static void appendPending(struct Pending *pending, const char *data, size_t size)
{
    if (pending->size + size > pending->capacity) {
        pending->capacity = (pending->size + size) * 2;
        pending->data = realloc(pending->data, pending->capacity);
        if (!pending->data)
            abort();
    }
    memcpy(pending->data + pending->size, data, size);
    pending->size += size;
}

static void forwardLines(int socketFd, struct Pending *pending, const char *data, size_t size)
{
    const char *end = data + size;
    while (data < end) {
        const char *lineFeed = memchr(data, '\n', (size_t)(end - data));
        if (!lineFeed) {
            appendPending(pending, data, (size_t)(end - data));
            return;
        }
        if (pending->size == 0) {
            writeAll(socketFd, data, (size_t)(lineFeed + 1 - data));
        } else {
            appendPending(pending, data, (size_t)(lineFeed + 1 - data));
            writeAll(socketFd, pending->data, pending->size);
            pending->size = 0;
        }
        data = lineFeed + 1;
    }
}

int main(void)
{
    signal(SIGPIPE, SIG_IGN);
    const int socketFd = connectToDesktop();
    static char input[BlockSize];
    static char received[BlockSize + 1];
    struct Pending pending = {0};
    struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {socketFd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fds[1].revents) {
            const ssize_t count = read(socketFd, received, BlockSize);
            if (count > 0) {
                const char *zero = memchr(received, '\0', (size_t)count);
                const size_t size = zero ? (size_t)(zero - received) : (size_t)count;
                received[size] = '\n';
                writeAll(STDOUT_FILENO, received, size + 1);
            } else if (count == 0 || errno != EINTR) {
                fds[1].fd = -1;
            }
        }
        if (fds[0].revents) {
            const ssize_t count = read(STDIN_FILENO, input, BlockSize);
            if (count > 0) {
                forwardLines(socketFd, &pending, input, (size_t)count);
            } else if (count == 0 || errno != EINTR) {
                if (pending.size > 0) {
                    appendPending(&pending, "\n", 1);
                    writeAll(socketFd, pending.data, pending.size);
                }
                return 0;
            }
        }
    }
}
