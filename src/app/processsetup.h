#ifndef OXLCONSOLE_PROCESSSETUP_H
#define OXLCONSOLE_PROCESSSETUP_H

namespace oxlconsole {

// Every setting the whole process gets for speed or safety, made before anything else runs:
// standard streams that exist and a standard error that stays quiet, Qt's own event loop, no
// signal for a broken pipe, and an output and a heap that suit texts of some hundred KiB.
class ProcessSetup
{
public:
    static void apply();

private:
    static void applyPlatform();
};

} // namespace oxlconsole

#endif
