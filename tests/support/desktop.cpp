#include "desktop.h"

#include "bridgeprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

Desktop::Desktop(const BridgeProcess &bridge)
    : Desktop(bridge.directory())
{
}

Desktop::Desktop(const QString &directory)
    : m_directory(directory)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), m_directory);
    process.setProcessEnvironment(environment);
}

Desktop::~Desktop()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool Desktop::start(const QStringList &arguments, const QStringList &launcher)
{
    if (launcher.isEmpty())
        process.start(QStringLiteral(OXLDESKTOP_PATH), arguments);
    else
        process.start(launcher.first(), launcher.mid(1) + QStringList(QStringLiteral(OXLDESKTOP_PATH)) + arguments);
    if (!process.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        QLocalSocket probe;
        probe.connectToServer(BridgeProcess::socketPath(m_directory));
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    return false;
}

QString Desktop::recordPath() const
{
    return m_directory + QStringLiteral("/received.bin");
}

QByteArray Desktop::recorded() const
{
    QFile record(recordPath());
    return record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray();
}

qint64 Desktop::recordedSize() const
{
    return QFileInfo(recordPath()).size();
}
