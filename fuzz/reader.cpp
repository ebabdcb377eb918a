// What the reader turns standard input into. Each line, without its line feed, becomes one
// message converted with Qt's UTF-8 conversion, however the input is cut into reads. So the
// messages are Qt's conversion of each line, in order; joined with line feeds they are Qt's
// conversion of the whole input less a final line feed, and for input that is valid UTF-8
// they are its bytes exactly. Qt's conversion drops a byte order mark at the start of each
// line, which the bridge keeps on purpose (a client's first line read from a file may start
// with one and must still be recognised as the control line); the two checks on the joined
// messages leave out inputs with a line that starts with one.
//
// Both the reader itself, on a pipe put on standard input, and its line cutting on its own,
// fed in the blocks the fuzzer chooses, are checked.

#include "blocks.h"
#include "calyxenworker.h"
#include "linesplitter.h"
#include "readaheadlimit.h"
#include "writeall.h"

#include <QStringList>

#include <exception>

#include <fcntl.h>
#include <unistd.h>

namespace {

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const QByteArray &bytes)
{
    const auto *s = reinterpret_cast<const uchar *>(bytes.constData());
    const int size = bytes.size();
    for (int i = 0; i < size;) {
        const uchar b = s[i];
        int length;
        uint lowest;
        uint code;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2, lowest = 0x80, code = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, lowest = 0x800, code = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, lowest = 0x10000, code = b & 0x07;
        } else {
            return false;
        }
        if (i + length > size)
            return false;
        for (int k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

QStringList messagesFromSplitter(const CutStream &cut)
{
    QStringList messages;
    // The same conversion as the reader's.
    const auto emitLine = [&messages](const char *line, qsizetype size) {
        messages.append(QString::fromUtf8(line, int(size)));
    };
    oxlconsole::LineSplitter lines;
    for (const QByteArray &block : cut.blocks)
        lines.feed(block.constData(), block.size(), emitLine);
    lines.finish(emitLine);
    return messages;
}

bool messagesFromReader(const QByteArray &input, QStringList *messages)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const bool fits = ::fcntl(fds[1], F_SETPIPE_SZ, qMax(input.size(), 4096)) >= input.size()
        && oxlconsole::writeAll(fds[1], input.constData(), input.size()) == 0;
    ::close(fds[1]);
    ::dup2(fds[0], STDIN_FILENO);
    ::close(fds[0]);
    if (!fits)
        return false;
    // Each line is handled as soon as it is emitted, as the main thread would handle it.
    oxlconsole::ReadAheadLimit limit;
    oxlconsole::ReaderOutcome outcome;
    oxlconsole::CalyxenWorker reader(&limit, &outcome);
    QObject::connect(&reader, &oxlconsole::CalyxenWorker::messageReceived, [messages, &limit](const QString &msg) {
        limit.release(msg);
        messages->append(msg);
    });
    reader.doWork();
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
    if (outcome.readFailed)
        failProperty("reading the input failed", QString(), QString());
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CutStream cut;
    if (!CutStream::parse(data, size, &cut))
        return -1;
    const QByteArray &input = cut.stream;
    QByteArray body = input;
    if (body.endsWith('\n'))
        body.chop(1);
    const QString decodedBody = QString::fromUtf8(body.constData(), body.size());
    QStringList expected;
    if (!input.isEmpty()) {
        for (const QByteArray &line : body.split('\n'))
            expected.append(QString::fromUtf8(line.constData(), line.size()));
    }

    const QStringList fromSplitter = messagesFromSplitter(cut);
    if (fromSplitter != expected)
        failProperty("line cutting differs from the conversion of each line", fromSplitter.join('\n'),
                     expected.join('\n'));
    // The reader keeps a byte order mark that starts any line but the input's first.
    QStringList expectedFromReader = expected;
    const QByteArrayList bodyLines = body.split('\n');
    for (int i = 1; i < expectedFromReader.size(); ++i) {
        if (bodyLines.at(i).startsWith("\xEF\xBB\xBF") && !expectedFromReader.at(i).startsWith(QChar(0xFEFF)))
            expectedFromReader[i].prepend(QChar(0xFEFF));
    }
    QStringList fromReader;
    if (messagesFromReader(input, &fromReader) && fromReader != expectedFromReader)
        failProperty("reader differs from the conversion of each line", fromReader.join('\n'),
                     expectedFromReader.join('\n'));

    const bool lineStartsWithMark = input.startsWith("\xEF\xBB\xBF") || input.contains("\n\xEF\xBB\xBF");
    if (lineStartsWithMark)
        return 0;
    const QString joined = fromSplitter.join('\n');
    if (joined != decodedBody)
        failProperty("messages differ from the conversion of the whole input", joined, decodedBody);
    if (isValidUtf8(input) && joined.toUtf8() != body)
        failProperty("valid input not kept byte for byte", joined, decodedBody);
    return 0;
}
