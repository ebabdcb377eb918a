#include "standardoutput.h"

#include <cerrno>
#include <cstdio>

namespace oxlconsole {

// The C runtime's stream keeps the text mode of standard output: each line feed goes out as
// CR LF. Its error state would otherwise stay set and silence every later write.
void StandardOutput::write(const char *data, qint64 size)
{
    errno = 0;
    if (std::fwrite(data, 1, size_t(size), stdout) != size_t(size) || std::fflush(stdout) != 0) {
        recordFailure(errno);
        std::clearerr(stdout);
    }
}

} // namespace oxlconsole
