#ifndef OXLTEST_CLIENTPIPES_H
#define OXLTEST_CLIENTPIPES_H

#include <QByteArray>
#include <QProcess>

#include <windows.h>

// Two pipes that stand in for the client's pipes to the bridge's standard input and output.
// They are made here rather than by QProcess so that the test sees when the last holder of
// the output's write end, or of the input's read end, lets go. Windows only.
class ClientPipes
{
public:
    ClientPipes();
    ~ClientPipes();

    // Gives the bridge that process starts these pipes as its standard input and output.
    void attach(QProcess &process);
    // Once the bridge has started, only it may hold its ends.
    void releaseBridgeEnds();

    bool write(const QByteArray &bytes);
    void closeInput();
    // Everything that has arrived on the output so far.
    QByteArray output();
    // Whether every write end of the output is closed and all its bytes have been read.
    bool outputClosed() { return !drain(); }

private:
    bool drain();

    HANDLE m_input = nullptr;
    HANDLE m_output = nullptr;
    HANDLE m_bridgeInput = nullptr;
    HANDLE m_bridgeOutput = nullptr;
    QByteArray m_received;
};

#endif
