#include "clientfifo.h"

#include "bridgeprocess.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ClientFifo::ClientFifo(const BridgeProcess &bridge, const QString &name)
    : m_path(bridge.directory() + QLatin1Char('/') + name)
{
    const QByteArray encoded = QFile::encodeName(m_path);
    if (::mkfifo(encoded.constData(), 0600) == 0)
        m_fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

ClientFifo::~ClientFifo()
{
    close();
}

QByteArray ClientFifo::read()
{
    char buffer[64 * 1024];
    ssize_t count;
    while (m_fd >= 0 && (count = ::read(m_fd, buffer, sizeof buffer)) > 0)
        m_arrived.append(buffer, int(count));
    return m_arrived;
}

void ClientFifo::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
