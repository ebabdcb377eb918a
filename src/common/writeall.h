#ifndef OXLCONSOLE_WRITEALL_H
#define OXLCONSOLE_WRITEALL_H

#include <sys/types.h>

namespace oxlconsole {

// Writes all size bytes of data to the descriptor fd, completing partial writes and retrying
// those a signal interrupted. A descriptor that takes nothing for now because whoever shares
// it left it non-blocking is waited for. Returns 0, or the errno of the failure that stopped
// the write. POSIX only.
int writeAll(int fd, const char *data, ssize_t size);

} // namespace oxlconsole

#endif
