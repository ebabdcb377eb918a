#include "controlline.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

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
    process.startDetached();
}

} // namespace oxlconsole
