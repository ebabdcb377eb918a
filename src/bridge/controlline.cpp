#include "controlline.h"

#include "app/diagnostics.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace oxlconsole {

const QString controlLine = QStringLiteral("#OPEN_OXL#");

void startDesktopApplication()
{
    const QString directory = QCoreApplication::applicationDirPath();
    QProcess process;
#ifdef Q_OS_WIN
    process.setProgram(QStringLiteral("OXL.exe"));
#else
    // Only Windows looks beside the starting program for a bare name; elsewhere PATH would be searched.
    process.setProgram(QDir(directory).filePath(QStringLiteral("OXL.exe")));
#endif
    process.setWorkingDirectory(directory);
    // The desktop application outlives the bridge and must not hold the client's pipes open.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
#ifdef Q_OS_WIN
    // Qt starts the program with every inheritable handle, and the client's pipes behind the
    // bridge's standard handles are inheritable; the bridge never hands them on.
    for (const DWORD stream : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        SetHandleInformation(GetStdHandle(stream), HANDLE_FLAG_INHERIT, 0);
#endif
    qint64 pid = 0;
    const bool started = process.startDetached(&pid);
    if (started)
        qCDebug(lcBridge).noquote() << "started" << process.program() << "as process id" << pid;
    else
        qCDebug(lcBridge).noquote() << "could not start" << process.program();
}

} // namespace oxlconsole
