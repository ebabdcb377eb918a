#include "outputpipe.h"

#include "bridgeprocess.h"

#include <cstdio>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

OutputPipe::OutputPipe(bool nonBlocking)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    m_readEnd = fds[0];
    m_writeEnd = fds[1];
    ::fcntl(m_readEnd, F_SETFL, O_NONBLOCK);
    if (nonBlocking)
        ::fcntl(m_writeEnd, F_SETFL, O_NONBLOCK);
}

OutputPipe::~OutputPipe()
{
    for (const int fd : {m_readEnd, m_writeEnd}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void OutputPipe::start(BridgeProcess &bridge)
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(m_writeEnd, STDOUT_FILENO);
    bridge.process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    bridge.start();
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(m_writeEnd);
    m_writeEnd = -1;
}

int OutputPipe::pending() const
{
    int count = 0;
    return ::ioctl(m_readEnd, FIONREAD, &count) == 0 ? count : -1;
}

QByteArray OutputPipe::read()
{
    char buffer[64 * 1024];
    ssize_t count;
    while (m_readEnd >= 0 && (count = ::read(m_readEnd, buffer, sizeof buffer)) > 0)
        m_arrived.append(buffer, int(count));
    return m_arrived;
}
