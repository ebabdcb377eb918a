#ifndef OXLTEST_STREAMCAPTURE_H
#define OXLTEST_STREAMCAPTURE_H

#include <QByteArray>

#include <functional>

// What action writes to this process's standard output (1) or error (2), at the level of the
// descriptor, so that writes that bypass the C and C++ streams are caught too.
QByteArray capturedStream(int fd, const std::function<void()> &action);

#endif
