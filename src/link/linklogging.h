#ifndef OXLCONSOLE_LINKLOGGING_H
#define OXLCONSOLE_LINKLOGGING_H

#include <QLoggingCategory>

namespace oxlconsole {

// Connection attempts and their results, connections made and lost.
Q_DECLARE_LOGGING_CATEGORY(lcLink)

} // namespace oxlconsole

#endif
