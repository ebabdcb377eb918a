#ifndef OXLCONSOLE_PROCESSSETUP_H
#define OXLCONSOLE_PROCESSSETUP_H

namespace oxlconsole {

// What the process needs of its platform before anything else runs: standard streams that
// exist, no signal for a broken pipe, and an output and a heap that suit texts of some
// hundred KiB.
class ProcessSetup
{
public:
    static void apply();
};

} // namespace oxlconsole

#endif
