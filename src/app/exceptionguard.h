#ifndef OXLCONSOLE_EXCEPTIONGUARD_H
#define OXLCONSOLE_EXCEPTIONGUARD_H

#include <functional>

namespace oxlconsole {

// Runs body and returns its result. A standard exception that escapes it is written to
// standard output without a line end, and 1 is returned.
int runGuarded(const std::function<int()> &body);

} // namespace oxlconsole

#endif
