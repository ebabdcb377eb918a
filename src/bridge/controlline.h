#ifndef OXLCONSOLE_CONTROLLINE_H
#define OXLCONSOLE_CONTROLLINE_H

#include <QString>

namespace oxlconsole {

// The client line, compared without regard to letter case, that starts the desktop application.
extern const QString controlLine;

// Starts OXL.exe from the bridge's own directory as an independent process.
void startDesktopApplication();

} // namespace oxlconsole

#endif
