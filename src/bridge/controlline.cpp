#include "controlline.h"

namespace oxlconsole {

const QString controlLine = QStringLiteral("#OPEN_OXL#");

} // namespace oxlconsole
