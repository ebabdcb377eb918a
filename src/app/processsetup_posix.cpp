#include "processsetup.h"

#include "desktoplauncher.h"

#include <QtGlobal>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace oxlconsole {

void ProcessSetup::applyPlatform()
{
    // A standard stream that the starter left closed would be taken by the first descriptor
    // Qt opens, and the reader would read Qt's own wake-ups as input.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    // Qt's GLib event loop makes a system call for every event posted to it from another
    // thread, that is for every client line, and needs descriptors that a tight limit may not
    // leave; Qt's own loop wakes once for a whole batch. No thread of the bridge may run it,
    // and programs the bridge starts still get the environment it was given.
    DesktopLauncher::keepEnvironment();
    qputenv("QT_NO_GLIB", "1");
    // A client that stops reading, or a desktop application that goes away mid-write, must
    // not end the bridge; the failed write is ignored instead.
    std::signal(SIGPIPE, SIG_IGN);
#ifdef F_SETPIPE_SZ
    // A text is written together with its line end, and a socket read of 64 KiB is common: a
    // pipe of the default 64 KiB cannot take both, so the write would wait for the client to
    // read before its last byte, once for every text: bench/run.sh's stream took about 0.25 s
    // instead of 0.15-0.19 s. A pipe the client made larger is kept.
    const int outputPipeSize = fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
    if (outputPipeSize > 0 && outputPipeSize < 256 * 1024)
        fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 256 * 1024);
#endif
#ifdef __GLIBC__
    // Each desktop text passes through a few buffers of some hundred KiB that are freed right
    // after. By default glibc hands that memory back to the system every time and the next text
    // faults it in afresh, page by page, which costs more than all the copying; it is kept instead.
    mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
#endif
}

} // namespace oxlconsole
