#ifndef OXLCONSOLE_BRIDGELOGGING_H
#define OXLCONSOLE_BRIDGELOGGING_H

#include <QLoggingCategory>

namespace oxlconsole {

// Starts of the desktop application, the end of input and how the bridge then ends.
Q_DECLARE_LOGGING_CATEGORY(lcBridge)

} // namespace oxlconsole

#endif
