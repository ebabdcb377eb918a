#ifndef OXLCONSOLE_DIAGNOSTICS_H
#define OXLCONSOLE_DIAGNOSTICS_H

namespace oxlconsole {

// Keeps every message, Qt's own warnings included, off standard error unless diagnostics are
// asked for with a logging rule such as QT_LOGGING_RULES="oxlconsole.*.debug=true". Many
// clients never read the bridge's standard error; once its pipe is full, the next message
// would block the bridge for good.
void installMessageFilter();

} // namespace oxlconsole

#endif
