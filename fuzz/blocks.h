#ifndef OXLFUZZ_BLOCKS_H
#define OXLFUZZ_BLOCKS_H

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// A fuzz input is a byte stream and the way it is cut into blocks: its first byte says how
// many block sizes follow (1 to 4), each size byte gives a block of 1 to 256 bytes, and the
// sizes repeat until the stream is used up. The fuzzer thus varies the cuts with the bytes.
struct CutStream
{
    QByteArray stream;
    std::vector<QByteArray> blocks;

    static bool parse(const uint8_t *data, size_t size, CutStream *cut)
    {
        if (size < 1)
            return false;
        const size_t count = 1 + data[0] % 4;
        if (size < 1 + count)
            return false;
        cut->stream = QByteArray(reinterpret_cast<const char *>(data + 1 + count), int(size - 1 - count));
        for (int at = 0, next = 0; at < cut->stream.size(); next = (next + 1) % int(count)) {
            const int length = qMin(1 + int(data[1 + next]), cut->stream.size() - at);
            cut->blocks.push_back(cut->stream.mid(at, length));
            at += length;
        }
        return true;
    }
};

// UTF-16 code units, so that a lone surrogate shows as what it is.
inline QByteArray codeUnits(const QString &text)
{
    QByteArray units;
    for (const QChar c : text)
        units += QByteArray::number(c.unicode(), 16) + ' ';
    return units;
}

[[noreturn]] inline void failProperty(const char *what, const QString &actual, const QString &expected)
{
    std::fprintf(stderr, "%s\n  actual:   %s\n  expected: %s\n", what, codeUnits(actual).constData(),
                 codeUnits(expected).constData());
    std::abort();
}

#endif
