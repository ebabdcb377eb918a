#ifndef OXLTEST_STDINPIPE_H
#define OXLTEST_STDINPIPE_H

#include <QByteArray>

// Puts the read end of a fresh pipe on this process's standard input for the lifetime of
// the object, so that a test can feed the reader and decide when its input ends.
class StdinPipe
{
public:
    StdinPipe();
    ~StdinPipe();

    bool isValid() const { return m_writeEnd >= 0; }
    void write(const QByteArray &bytes);
    void close();

private:
    int m_savedStdin = -1;
    int m_writeEnd = -1;
};

#endif
