#ifndef OXLTEST_ENDPROCESS_H
#define OXLTEST_ENDPROCESS_H

#include <QtGlobal>

// Ends the process pid, which this process did not start. On Windows it waits until the
// process has gone, since only then can its folder be removed.
void endProcess(qint64 pid);

#endif
