#include "processsetup.h"

#include <cstdio>

namespace oxlconsole {

void ProcessSetup::applyPlatform()
{
    // Every text goes out whole and at once; a stdio buffer would only split a large text
    // into several writes to the pipe.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

} // namespace oxlconsole
