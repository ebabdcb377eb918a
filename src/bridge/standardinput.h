#ifndef OXLCONSOLE_STANDARDINPUT_H
#define OXLCONSOLE_STANDARDINPUT_H

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

namespace oxlconsole {

// Standard input read in blocks by the reader thread, in a way that another thread can end.
class StandardInput
{
public:
    // Blocks until bytes arrive and returns their count; returns 0 at the end of input and
    // once the calling thread has been interrupted, and -1 when reading fails.
    static qint64 read(char *data, qint64 maxSize);
    // Whether the client has closed its end of standard input, which may still hold bytes not
    // read yet; false where that cannot be told. Any thread may ask.
    static bool closedByClient();
    // Requests the interruption of reader and wakes it if it is blocked in read().
    static void interrupt(QThread *reader);
};

} // namespace oxlconsole

#endif
