#include "linklogging.h"

namespace oxlconsole {

Q_LOGGING_CATEGORY(lcLink, "oxlconsole.link", QtWarningMsg)

} // namespace oxlconsole
