#include "bridgeprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

BridgeProcess::BridgeProcess()
    : environment(QProcessEnvironment::systemEnvironment())
{
    environment.insert(QStringLiteral("TMPDIR"), directory());
}

BridgeProcess::~BridgeProcess()
{
    if (process.state() == QProcess::NotRunning)
        return;
    // The desktop side goes first: a bridge whose link is down ends as soon as its input ends,
    // where a connected one would wait for answers first.
    server.close();
    for (QLocalSocket *desktop : server.findChildren<QLocalSocket *>())
        desktop->abort();
    // Ending the input ends the bridge as a client ends it, so that what a sanitizer build
    // checks at exit (leaks) is checked after every test; a bridge that does not end is killed.
    process.closeWriteChannel();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool BridgeProcess::listen()
{
    return server.listen(socketPath());
}

void BridgeProcess::start(const QStringList &arguments, const QString &program)
{
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForStarted(5000);
}

QLocalSocket *BridgeProcess::accept(int timeoutMs)
{
    if (!server.hasPendingConnections() && !server.waitForNewConnection(timeoutMs))
        return nullptr;
    return server.nextPendingConnection();
}

QLocalSocket *BridgeProcess::startConnected()
{
    if (!listen())
        return nullptr;
    start();
    return accept();
}

QByteArray BridgeProcess::receive(QLocalSocket *socket, int size, int timeoutMs)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < size && !deadline.hasExpired()) {
        if (socket->bytesAvailable() == 0
            && !socket->waitForReadyRead(int(qBound(qint64(1), deadline.remainingTime(), qint64(100))))
            && socket->state() != QLocalSocket::ConnectedState) {
            break;
        }
        bytes += socket->readAll();
    }
    return bytes;
}

void BridgeProcess::write(const QByteArray &bytes)
{
    process.write(bytes);
    while (process.bytesToWrite() > 0 && process.waitForBytesWritten(10000)) {
    }
}

void BridgeProcess::feed(const QByteArray &input)
{
    m_input = input;
    m_fed = 0;
    QObject::connect(&process, &QProcess::bytesWritten, &process, [this] { feedNextBlock(); });
    feedNextBlock();
}

void BridgeProcess::feedNextBlock()
{
    if (process.bytesToWrite() > 0 || m_fed == m_input.size())
        return;
    const qint64 block = qMin<qint64>(1024 * 1024, m_input.size() - m_fed);
    process.write(m_input.constData() + m_fed, block);
    m_fed += block;
}

void BridgeProcess::closeInput()
{
    process.closeWriteChannel();
}

QByteArray BridgeProcess::output()
{
    m_output += process.readAllStandardOutput();
    return m_output;
}

QByteArray BridgeProcess::written(QByteArray text)
{
#ifdef Q_OS_WIN
    return text.replace('\n', "\r\n");
#else
    return text;
#endif
}

QByteArray BridgeProcess::withoutLineEnds(QByteArray output)
{
#ifdef Q_OS_WIN
    output.replace('\r', QByteArray());
#endif
    return output.replace('\n', QByteArray());
}

#ifdef Q_OS_LINUX
qint64 BridgeProcess::cpuTimeMs() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command name, which is in parentheses: utime and stime are the
    // 12th and 13th of them.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}
#endif
