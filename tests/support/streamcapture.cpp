#include "streamcapture.h"

#include <QTemporaryFile>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

QByteArray capturedStream(int fd, const std::function<void()> &action)
{
    QTemporaryFile capture;
    if (!capture.open())
        return "(no file to capture the stream)";
    std::fflush(fd == 1 ? stdout : stderr);
    const int saved = ::dup(fd);
    ::dup2(capture.handle(), fd);
    action();
    std::fflush(fd == 1 ? stdout : stderr);
    ::dup2(saved, fd);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}
