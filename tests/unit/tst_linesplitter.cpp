#include "bridge/linesplitter.h"

#include <QtTest>

class tst_LineSplitter : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
};

void tst_LineSplitter::lines_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("maximumLength");
    QTest::addColumn<QByteArrayList>("expected");
    const int unlimited = 1 << 20;
    QTest::newRow("nothing") << QByteArray() << unlimited << QByteArrayList();
    QTest::newRow("one line") << QByteArray("abc\n") << unlimited << QByteArrayList{"abc"};
    QTest::newRow("empty lines") << QByteArray("\n\n") << unlimited << QByteArrayList{"", ""};
    QTest::newRow("unended last line") << QByteArray("a\nbc") << unlimited << QByteArrayList{"a", "bc"};
    QTest::newRow("zero bytes kept") << QByteArray("\0a\0\n\0", 5) << unlimited
                                     << QByteArrayList{QByteArray("\0a\0", 3), QByteArray(1, '\0')};
    QTest::newRow("carriage return kept") << QByteArray("a\r\n\r\n") << unlimited << QByteArrayList{"a\r", "\r"};
    QTest::newRow("long line in pieces") << QByteArray("abcdefgh\nij") << 3
                                         << QByteArrayList{"abc", "def", "gh", "ij"};
    QTest::newRow("line of exactly the maximum") << QByteArray("abc\nabcdef\n") << 3
                                                 << QByteArrayList{"abc", "abc", "def"};
    QTest::newRow("character kept whole at a cut") << QByteArray("ab\xC3\xA9" "cd\n") << 3
                                                   << QByteArrayList{"ab", "\xC3\xA9" "c", "d"};
    QTest::newRow("four-byte character at a cut") << QByteArray("a\xF0\x9F\x98\x80" "b") << 4
                                                  << QByteArrayList{"a", "\xF0\x9F\x98\x80", "b"};
    QTest::newRow("stray continuation bytes cut as they come") << QByteArray("\x80\x80\x80\x80\x80") << 2
                                                               << QByteArrayList{"\x80\x80", "\x80\x80", "\x80"};
}

// Every way of cutting the input into blocks gives the same lines.
void tst_LineSplitter::lines()
{
    QFETCH(QByteArray, input);
    QFETCH(int, maximumLength);
    QFETCH(QByteArrayList, expected);
    for (int blockSize = 1; blockSize <= qMax(1, input.size()); ++blockSize) {
        oxlconsole::LineSplitter splitter(maximumLength);
        QByteArrayList lines;
        const auto sink = [&lines](const char *line, qsizetype size) { lines.append(QByteArray(line, int(size))); };
        for (int at = 0; at < input.size(); at += blockSize)
            splitter.feed(input.constData() + at, qMin(blockSize, input.size() - at), sink);
        splitter.finish(sink);
        QVERIFY2(lines == expected, qPrintable(QStringLiteral("block size %1").arg(blockSize)));
    }
}

QTEST_GUILESS_MAIN(tst_LineSplitter)
#include "tst_linesplitter.moc"
