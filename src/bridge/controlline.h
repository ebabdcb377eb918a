#ifndef OXLCONSOLE_CONTROLLINE_H
#define OXLCONSOLE_CONTROLLINE_H

#include <QString>

namespace oxlconsole {

// The client line, compared without regard to letter case, that starts the desktop application.
extern const QString controlLine;

} // namespace oxlconsole

#endif
