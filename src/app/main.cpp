#include "diagnostics.h"
#include "exceptionguard.h"
#include "bridge/console.h"
#include "common/checkedconnect.h"

#include <QCoreApplication>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    // A standard stream that the starter left closed would be taken by the first descriptor
    // Qt opens, and the reader would read Qt's own wake-ups as input.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
#endif
    oxlconsole::installMessageFilter();
#ifdef SIGPIPE
    // A client that stops reading, or a desktop application that goes away mid-write, must
    // not end the bridge; the failed write is ignored instead.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Every text goes out whole and is flushed at once; a stdio buffer would only split a
    // large text into several system calls.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
#ifdef Q_OS_LINUX
    // A text is written together with its line end, and a socket read of 64 KiB is common: a
    // pipe of the default 64 KiB cannot take both, so the write would wait for the client to
    // read before its last byte, once for every text. A pipe the client made larger is kept.
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
    return oxlconsole::runGuarded([&] {
        // Qt's GLib event loop makes a system call for every event posted to it from another
        // thread, that is for every client line; its own loop wakes once for a whole batch.
        // The client's setting is put back so that the desktop application inherits it.
        const bool noGlibWasSet = qEnvironmentVariableIsSet("QT_NO_GLIB");
        const QByteArray noGlib = qgetenv("QT_NO_GLIB");
        qputenv("QT_NO_GLIB", "1");
        QCoreApplication app(argc, argv);
        if (noGlibWasSet)
            qputenv("QT_NO_GLIB", noGlib);
        else
            qunsetenv("QT_NO_GLIB");
        QCoreApplication::setApplicationName(QStringLiteral("OXL Calyxen Connector"));
        QCoreApplication::setApplicationVersion(QStringLiteral(OXLCONSOLE_VERSION));
        if (argc <= 1)
            return 0;
        const std::string mode = argv[1];
        if (mode != "Calyxen")
            return 0;
        oxlconsole::Console console;
        oxlconsole::checkedSingleShot(1, &console, SLOT(runCalyxen()));
        oxlconsole::checkedConnect(&console, SIGNAL(quit()), &app, SLOT(quit()));
        return app.exec();
    });
}
