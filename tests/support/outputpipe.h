#ifndef OXLTEST_OUTPUTPIPE_H
#define OXLTEST_OUTPUTPIPE_H

#include <QByteArray>

class BridgeProcess;

// A pipe whose write end the bridge inherits as its standard output, as from a client that
// hands on its own: both then share one open file description, and with it the O_NONBLOCK
// that the client's event loop may set on it. POSIX only.
class OutputPipe
{
public:
    explicit OutputPipe(bool nonBlocking);
    ~OutputPipe();

    // Starts the bridge in its run mode with the write end as its standard output.
    void start(BridgeProcess &bridge);
    // The bytes waiting in the pipe, unread.
    int pending() const;
    // Everything that has arrived so far.
    QByteArray read();

private:
    int m_readEnd = -1;
    int m_writeEnd = -1;
    QByteArray m_arrived;
};

#endif
