#include "stdinpipe.h"

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
static int pipe(int fds[2])
{
    return _pipe(fds, 1 << 16, _O_BINARY);
}
#else
#include <unistd.h>
#endif

StdinPipe::StdinPipe()
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    m_savedStdin = ::dup(0);
    ::dup2(fds[0], 0);
    ::close(fds[0]);
    m_writeEnd = fds[1];
}

StdinPipe::~StdinPipe()
{
    close();
    if (m_savedStdin >= 0) {
        ::dup2(m_savedStdin, 0);
        ::close(m_savedStdin);
    }
}

void StdinPipe::write(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    int left = bytes.size();
    while (left > 0) {
        const auto written = ::write(m_writeEnd, data, unsigned(left));
        if (written <= 0)
            return;
        data += written;
        left -= int(written);
    }
}

void StdinPipe::close()
{
    if (m_writeEnd >= 0) {
        ::close(m_writeEnd);
        m_writeEnd = -1;
    }
}
