#ifndef OXLCONSOLE_STANDARDOUTPUT_H
#define OXLCONSOLE_STANDARDOUTPUT_H

#include <QByteArray>

namespace oxlconsole {

// Every byte the bridge writes to its standard output goes through here, so that texts and
// reports keep their order. A write goes out whole: a stream that takes part of it, or none
// for now because the client left it non-blocking, is waited for. Only a real failure, such
// as a client that has gone, drops the bytes of that write; the next write tries afresh.
class StandardOutput
{
public:
    static void write(const char *data, qint64 size);
    static void write(const QByteArray &bytes) { write(bytes.constData(), bytes.size()); }
    // Whether a write has failed other than because the client closed its end: bytes meant
    // for the client were lost while it may still be reading.
    static bool failed();

private:
    static void recordFailure(int error);
};

} // namespace oxlconsole

#endif
