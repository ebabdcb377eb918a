#include "desktoplauncher.h"

#include "bridgelogging.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace oxlconsole {

namespace {

// The environment that started programs get; null for the process's own.
char **keptEnvironment = nullptr;

// In the started program, the descriptor on which it tells the bridge why its exec failed.
constexpr int ReportDescriptor = 3;

// What the processes of a start tell the bridge, each in one write to a pipe, which keeps it whole.
struct Report
{
    enum Kind { Started, ForkFailed, ExecFailed } kind;
    long value; // the process id once started, errno otherwise
};

void sendReport(int fd, Report::Kind kind, long value)
{
    const Report report = {kind, value};
    (void)!::write(fd, &report, sizeof report);
}

// Runs in the program's own process, between fork and exec: another thread of the bridge may
// hold a lock that nothing will release there, so only async-signal-safe calls are made.
[[noreturn]] void execProgram(const char *program, const char *folder, int nullDevice, int report)
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        ::dup2(nullDevice, fd);
    if (report != ReportDescriptor)
        ::dup2(report, ReportDescriptor);
    ::fcntl(ReportDescriptor, F_SETFD, FD_CLOEXEC);
    // Descriptors the client left open without close-on-exec would stay open for as long as
    // the desktop application runs, long after the bridge.
#ifdef OXL_HAVE_CLOSEFROM
    ::closefrom(ReportDescriptor + 1);
#else
    for (long fd = ReportDescriptor + 1, end = ::sysconf(_SC_OPEN_MAX); fd < end; ++fd)
        ::close(int(fd));
#endif
    // An ignored signal stays ignored across exec; the bridge ignores SIGPIPE for itself only.
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::chdir(folder) == 0) {
        char *const arguments[] = {const_cast<char *>(program), nullptr};
        ::execve(program, arguments, keptEnvironment ? keptEnvironment : environ);
    }
    sendReport(ReportDescriptor, Report::ExecFailed, errno);
    ::_exit(127);
}

// Starts program detached: in a session of its own and as the child of a process that ends at
// once, so that it is never the bridge's child. Returns its process id, or -1 with errno set.
pid_t startDetached(const QByteArray &program, const QByteArray &folder)
{
    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0)
        return -1;
    const int nullDevice = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t intermediate = nullDevice < 0 ? -1 : ::fork();
    if (intermediate == 0) {
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0)
            execProgram(program.constData(), folder.constData(), nullDevice, report[1]);
        if (child > 0)
            sendReport(report[1], Report::Started, child);
        else
            sendReport(report[1], Report::ForkFailed, errno);
        ::_exit(0);
    }
    long child = -1;
    int error = errno;
    ::close(report[1]);
    if (intermediate > 0) {
        while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
        }
        // The pipe ends once the exec has closed the child's end, or the child has gone.
        error = ECHILD;
        Report received;
        ssize_t count;
        while ((count = ::read(report[0], &received, sizeof received)) == ssize_t(sizeof received)
               || (count < 0 && errno == EINTR)) {
            if (count < 0)
                continue;
            if (received.kind == Report::Started)
                child = received.value;
            else
                error = int(received.value);
        }
        if (child > 0 && error == ECHILD)
            error = 0;
    }
    if (nullDevice >= 0)
        ::close(nullDevice);
    ::close(report[0]);
    if (child <= 0 || error != 0) {
        errno = error;
        return -1;
    }
    return pid_t(child);
}

} // namespace

DesktopLauncher::DesktopLauncher()
{
#ifdef Q_OS_LINUX
    // The link names the file's bytes as they are; Qt's path is decoded text, which loses the
    // bytes of a name that is not valid in the locale's encoding.
    QByteArray path(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), size_t(path.size()));
    if (length <= 0 || length >= path.size() || path.at(0) != '/')
        return;
    path.truncate(int(length));
    // The link reads as a path even when no folder holds the file: a memory file run through
    // fexecve, or a file deleted or replaced since the exec. Only a path that still leads to the
    // running file names its folder.
    struct stat running;
    struct stat named;
    if (::stat("/proc/self/exe", &running) != 0 || ::stat(path.constData(), &named) != 0
        || running.st_dev != named.st_dev || running.st_ino != named.st_ino) {
        return;
    }
#else
    const QByteArray path = QFile::encodeName(QCoreApplication::applicationFilePath());
    if (!path.startsWith('/'))
        return;
#endif
    m_folder = path.left(qMax(path.lastIndexOf('/'), 1));
}

void DesktopLauncher::keepEnvironment()
{
    // Copied whole, strings too: a later setenv() may replace a string the process was given.
    std::size_t count = 0;
    while (environ[count])
        ++count;
    keptEnvironment = new char *[count + 1];
    for (std::size_t i = 0; i < count; ++i)
        keptEnvironment[i] = ::strdup(environ[i]);
    keptEnvironment[count] = nullptr;
}

void DesktopLauncher::start() const
{
    if (m_folder.isEmpty()) {
        qCDebug(lcBridge) << "the bridge's own folder is unknown: OXL.exe is not started";
        return;
    }
    // Only Windows looks beside the starting program for a bare name; here PATH would be searched.
    const QByteArray program = m_folder + (m_folder.endsWith('/') ? "OXL.exe" : "/OXL.exe");
    const pid_t pid = startDetached(program, m_folder);
    const int error = errno;
    if (pid > 0)
        qCDebug(lcBridge).noquote() << "started" << QFile::decodeName(program) << "as process id" << pid;
    else
        qCDebug(lcBridge).noquote() << "could not start" << QFile::decodeName(program) << "-" << std::strerror(error);
}

} // namespace oxlconsole
