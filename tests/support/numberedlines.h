#ifndef OXLTEST_NUMBEREDLINES_H
#define OXLTEST_NUMBEREDLINES_H

#include <QByteArray>

// count lines of exactly length bytes, line feed included, each with tag and its own number
// at its start, so that a lost, doubled or reordered line shows.
QByteArray numberedLines(const char *tag, int count, int length);

#endif
