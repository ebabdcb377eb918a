// How the link turns socket reads into texts. Each read is cut at its first zero byte, and a
// character split between reads is completed by the next read, or, when the connection ends
// first, converted as Qt converts an unfinished character. So for any cut of a stream without
// zero bytes the texts, put together, are exactly Qt's conversion of the whole stream. With
// zero bytes, what survives the cuts is converted as one stream up to each read that held a
// zero byte, since such a read ends any unfinished character; a byte order mark is dropped
// only at the very start of the connection's stream.

#include "blocks.h"
#include "utf8decoder.h"

namespace {

QString expectedTexts(const CutStream &cut)
{
    QString expected;
    QByteArray segment;
    bool atStart = true;
    const auto convertSegment = [&] {
        QString text = QString::fromUtf8(segment);
        if (!atStart && segment.startsWith("\xEF\xBB\xBF"))
            text.prepend(QChar(0xFEFF));
        if (!segment.isEmpty())
            atStart = false;
        expected += text;
        segment.clear();
    };
    for (const QByteArray &read : cut.blocks) {
        const int zero = read.indexOf('\0');
        segment += zero < 0 ? read : read.left(zero);
        if (zero >= 0)
            convertSegment();
    }
    convertSegment();
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CutStream cut;
    if (!CutStream::parse(data, size, &cut))
        return -1;
    oxlconsole::Utf8Decoder decoder;
    QString texts;
    for (const QByteArray &read : cut.blocks) {
        QString text;
        if (decoder.decode(read, &text))
            texts += text;
    }
    QString rest;
    if (decoder.finish(&rest))
        texts += rest;

    if (!cut.stream.contains('\0') && texts != QString::fromUtf8(cut.stream))
        failProperty("texts differ from the conversion of the whole stream", texts, QString::fromUtf8(cut.stream));
    const QString expected = expectedTexts(cut);
    if (texts != expected)
        failProperty("texts differ from the conversion of what the zero bytes leave", texts, expected);
    return 0;
}
