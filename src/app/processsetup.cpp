#include "processsetup.h"

#include "diagnostics.h"

namespace oxlconsole {

void ProcessSetup::apply()
{
    applyPlatform();
    // Many clients never read standard error; once its pipe is full, a message would block
    // the bridge for good.
    installMessageFilter();
}

} // namespace oxlconsole
