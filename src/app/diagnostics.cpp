#include "diagnostics.h"

#include "bridgelogging.h"
#include "linklogging.h"

namespace oxlconsole {

namespace {

QtMessageHandler defaultHandler = nullptr;

void filterMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // A fatal message comes only from a build fault, at start-up, and ends the program anyway.
    if (type == QtFatalMsg || lcBridge().isDebugEnabled() || lcLink().isDebugEnabled())
        defaultHandler(type, context, message);
}

} // namespace

void installMessageFilter()
{
    defaultHandler = qInstallMessageHandler(filterMessage);
}

} // namespace oxlconsole
