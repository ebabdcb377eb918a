#ifndef OXLCONSOLE_DESKTOPLAUNCHER_H
#define OXLCONSOLE_DESKTOPLAUNCHER_H

#include <QByteArray>

namespace oxlconsole {

// Starts the desktop application OXL.exe from the bridge's own folder. The folder is found
// when the launcher is made, at start: once the bridge's file has been replaced or deleted,
// as an upgrade does while the bridge runs, it can no longer be found out, and a relative
// name would start whatever OXL.exe lies in the client's folder.
class DesktopLauncher
{
public:
    DesktopLauncher();

    // Keeps the environment as the process has it now for the programs it starts, so that the
    // process may then change its own for Qt's sake. Does nothing where no change is needed.
    static void keepEnvironment();

    // Starts OXL.exe as an independent process, without arguments, with the bridge's folder as
    // its working directory; starts nothing when that folder is unknown.
    void start() const;

private:
    // The folder's name as the system gives it (its bytes on POSIX, UTF-8 on Windows), or empty.
    QByteArray m_folder;
};

} // namespace oxlconsole

#endif
