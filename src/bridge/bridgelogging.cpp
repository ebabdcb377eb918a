#include "bridgelogging.h"

namespace oxlconsole {

Q_LOGGING_CATEGORY(lcBridge, "oxlconsole.bridge", QtWarningMsg)

} // namespace oxlconsole
