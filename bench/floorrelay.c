/*
 * The least work a relay with the bridge's framing can do, as a yardstick for the bridge:
 * single-threaded around poll(2), one write(2) per client line (its bytes and the line feed),
 * and one write(2) per socket read (its bytes up to the first zero byte, and a line feed).
 * It connects at once to $TMPDIR/OXL and ends at the end of standard input.
 *
 * Like the bridge, it lets its output pipe hold 256 KiB, so that a 64 KiB read and its line
 * feed fit.
 *
 * With --reader-thread it reads standard input on a second thread, as the bridge does, and
 * hands each line to the main thread through a queue and an eventfd wake-up: the least work
 * a relay that reads its input on its own thread can do.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
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

/* Where each complete line, line feed included, goes: the socket, or the reader's queue. */
typedef void (*LineSink)(int socketFd, const char *data, size_t size);

static void forwardLines(int socketFd, struct Pending *pending, const char *data, size_t size, LineSink sink)
{
    const char *end = data + size;
    while (data < end) {
        const char *lineFeed = memchr(data, '\n', (size_t)(end - data));
        if (!lineFeed) {
            appendPending(pending, data, (size_t)(end - data));
            return;
        }
        if (pending->size == 0) {
            sink(socketFd, data, (size_t)(lineFeed + 1 - data));
        } else {
            appendPending(pending, data, (size_t)(lineFeed + 1 - data));
            sink(socketFd, pending->data, pending->size);
            pending->size = 0;
        }
        data = lineFeed + 1;
    }
}

/* Reads one block of standard input and passes on its lines; at the end of input, passes on
 * an unended last line and returns 1. */
static int readInput(int socketFd, struct Pending *pending, LineSink sink)
{
    static char input[BlockSize];
    ssize_t count;
    do {
        count = read(STDIN_FILENO, input, BlockSize);
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        forwardLines(socketFd, pending, input, (size_t)count, sink);
        return 0;
    }
    if (pending->size > 0) {
        appendPending(pending, "\n", 1);
        sink(socketFd, pending->data, pending->size);
        pending->size = 0;
    }
    return 1;
}

static void forwardReceived(int socketFd, struct pollfd *socketPoll)
{
    static char received[BlockSize + 1];
    const ssize_t count = read(socketFd, received, BlockSize);
    if (count > 0) {
        const char *zero = memchr(received, '\0', (size_t)count);
        const size_t size = zero ? (size_t)(zero - received) : (size_t)count;
        received[size] = '\n';
        writeAll(STDOUT_FILENO, received, size + 1);
    } else if (count == 0 || errno != EINTR) {
        socketPoll->fd = -1;
    }
}

/* Waits on the input side (standard input, or the reader's wake-up) and the socket, passing
 * on texts from the socket, until handleInput says the input has ended. */
static int relay(int socketFd, int inputFd, int (*handleInput)(int socketFd))
{
    struct pollfd fds[2] = {{inputFd, POLLIN, 0}, {socketFd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fds[1].revents)
            forwardReceived(socketFd, &fds[1]);
        if (fds[0].revents && handleInput(socketFd))
            return 0;
    }
}

static void sendLine(int socketFd, const char *data, size_t size)
{
    writeAll(socketFd, data, size);
}

static int sendInput(int socketFd)
{
    static struct Pending pending;
    return readInput(socketFd, &pending, sendLine);
}

/* Lines read on the reader thread wait here, each in its own allocation, until the main
 * thread takes them; the main thread is woken only when the queue was empty. As in the
 * bridge, the reader waits while the lines not yet sent reach QueueLimit bytes, until half
 * of that is free. */
enum { QueueLimit = 512 * 1024 };

struct Line {
    struct Line *next;
    size_t size;
    char data[];
};

static pthread_mutex_t queueLock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t queueRoom = PTHREAD_COND_INITIALIZER;
static atomic_llong queuedBytes;
static atomic_llong wakeAt = -1;
static struct Line *queueHead, *queueTail;
static int queueEnded;
static int wakeFd;

static void queueLine(int socketFd, const char *data, size_t size)
{
    (void)socketFd;
    struct Line *line = malloc(sizeof *line + size);
    if (!line)
        abort();
    line->next = NULL;
    line->size = size;
    memcpy(line->data, data, size);
    pthread_mutex_lock(&queueLock);
    if (queuedBytes + (long long)size > QueueLimit) {
        wakeAt = QueueLimit / 2;
        while (queuedBytes > wakeAt)
            pthread_cond_wait(&queueRoom, &queueLock);
        wakeAt = -1;
    }
    queuedBytes += (long long)size;
    const int wasEmpty = !queueHead;
    if (queueTail)
        queueTail->next = line;
    else
        queueHead = line;
    queueTail = line;
    pthread_mutex_unlock(&queueLock);
    if (wasEmpty)
        eventfd_write(wakeFd, 1);
}

static void *readLines(void *unused)
{
    (void)unused;
    struct Pending pending = {0};
    while (!readInput(-1, &pending, queueLine)) {
    }
    pthread_mutex_lock(&queueLock);
    queueEnded = 1;
    pthread_mutex_unlock(&queueLock);
    eventfd_write(wakeFd, 1);
    return NULL;
}

/* Sends the queued lines, one write each; returns whether the reader has ended. */
static int sendQueued(int socketFd)
{
    eventfd_t ignored;
    eventfd_read(wakeFd, &ignored);
    pthread_mutex_lock(&queueLock);
    struct Line *line = queueHead;
    queueHead = queueTail = NULL;
    const int ended = queueEnded;
    pthread_mutex_unlock(&queueLock);
    while (line) {
        struct Line *next = line->next;
        writeAll(socketFd, line->data, line->size);
        if ((queuedBytes -= (long long)line->size) <= wakeAt) {
            pthread_mutex_lock(&queueLock);
            pthread_cond_signal(&queueRoom);
            pthread_mutex_unlock(&queueLock);
        }
        free(line);
        line = next;
    }
    return ended;
}

int main(int argc, char *argv[])
{
    signal(SIGPIPE, SIG_IGN);
    const int pipeSize = fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
    if (pipeSize > 0 && pipeSize < 256 * 1024)
        fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 256 * 1024);
    const int socketFd = connectToDesktop();
    if (argc < 2 || strcmp(argv[1], "--reader-thread") != 0)
        return relay(socketFd, STDIN_FILENO, sendInput);
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    pthread_t reader;
    if (wakeFd < 0 || pthread_create(&reader, NULL, readLines, NULL) != 0)
        return 1;
    if (relay(socketFd, wakeFd, sendQueued) != 0)
        return 1;
    pthread_join(reader, NULL);
    return 0;
}
