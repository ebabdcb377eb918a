#include "standardoutput.h"

#include "writeall.h"

#include <unistd.h>

namespace oxlconsole {

void StandardOutput::write(const char *data, qint64 size)
{
    const int error = writeAll(STDOUT_FILENO, data, ssize_t(size));
    if (error != 0)
        recordFailure(error);
}

} // namespace oxlconsole
