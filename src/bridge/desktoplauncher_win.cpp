#include "desktoplauncher.h"

#include "bridgelogging.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <windows.h>

namespace oxlconsole {

DesktopLauncher::DesktopLauncher()
{
    const QString folder = QCoreApplication::applicationDirPath();
    if (QDir::isAbsolutePath(folder))
        m_folder = folder.toUtf8();
}

void DesktopLauncher::keepEnvironment()
{
}

void DesktopLauncher::start() const
{
    if (m_folder.isEmpty()) {
        qCDebug(lcBridge) << "the bridge's own folder is unknown: OXL.exe is not started";
        return;
    }
    QProcess process;
    // Windows looks for a bare name beside the starting program first.
    process.setProgram(QStringLiteral("OXL.exe"));
    process.setWorkingDirectory(QString::fromUtf8(m_folder));
    // The desktop application outlives the bridge and must not hold the client's pipes open.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // Qt starts the program with every inheritable handle, and the client's pipes behind the
    // bridge's standard handles are inheritable; the bridge never hands them on.
    for (const DWORD stream : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        SetHandleInformation(GetStdHandle(stream), HANDLE_FLAG_INHERIT, 0);
    qint64 pid = 0;
    if (process.startDetached(&pid))
        qCDebug(lcBridge).noquote() << "started" << process.program() << "as process id" << pid;
    else
        qCDebug(lcBridge).noquote() << "could not start" << process.program();
}

} // namespace oxlconsole
