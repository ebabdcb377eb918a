#ifndef OXLCONSOLE_UTF8_H
#define OXLCONSOLE_UTF8_H

#include <QByteArray>

namespace oxlconsole {

// What the bridge needs to know of UTF-8 to cut a byte stream without splitting a character,
// judged as Qt's UTF-8 conversion judges an unfinished sequence. Inline: it runs for every read
// and every cut.
class Utf8
{
public:
    static constexpr bool isContinuation(uchar byte) { return (byte & 0xC0) == 0x80; }

    // Whether byte begins a character of two to four bytes.
    static constexpr bool isMultiByteLead(uchar byte) { return byte >= 0xC2 && byte <= 0xF4; }

    // The length of the character that a multi-byte lead begins.
    static constexpr int sequenceLength(uchar lead) { return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2; }

    // The number of bytes at the end of data that begin a character whose remaining bytes
    // have not arrived yet.
    static int unfinishedTail(const QByteArray &data)
    {
        const int size = data.size();
        for (int back = 1; back <= 3 && back <= size; ++back) {
            const uchar byte = uchar(data.at(size - back));
            if (isContinuation(byte))
                continue;
            return isMultiByteLead(byte) && sequenceLength(byte) > back ? back : 0;
        }
        return 0;
    }

    // The number of bytes at the end of before that begin a character which next, the first
    // byte after a cut, continues: the cut falls between characters only if they move past it.
    static int partedByCut(const QByteArray &before, char next)
    {
        return isContinuation(uchar(next)) ? unfinishedTail(before) : 0;
    }
};

} // namespace oxlconsole

#endif
