#include "common/utf8.h"
#include "link/utf8decoder.h"

#include <QtTest>

using oxlconsole::Utf8;
using oxlconsole::Utf8Decoder;

// The conversion of the bytes that the desktop application sends, read by read. Every
// expected text is written out as UTF-16: an invalid byte, or a byte that begins no complete
// character, is one U+FFFD, as Qt's conversion of the whole buffer gives it.
class tst_Utf8Decoder : public QObject
{
    Q_OBJECT

private slots:
    // whole reads
    void decode_data();
    void decode();

    // valid text cut between reads
    void split_data();
    void split();
    void byteByByte_data();
    void byteByByte();

    void reset();
    void unfinishedTail_data();
    void unfinishedTail();
};

namespace {

// The texts that decode() gives for each read, then the one finish() gives, if any.
QStringList decoded(const QByteArrayList &reads)
{
    Utf8Decoder decoder;
    QStringList texts;
    QString text;
    for (const QByteArray &read : reads) {
        if (decoder.decode(read, &text))
            texts.append(text);
    }
    if (decoder.finish(&text))
        texts.append(text);
    return texts;
}

} // namespace

void tst_Utf8Decoder::decode_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("ascii") << QByteArrayList{"hello"} << QStringList{"hello"};
    QTest::newRow("line feeds stay inside") << QByteArrayList{"x\ny\n"} << QStringList{"x\ny\n"};
    QTest::newRow("2-byte") << QByteArrayList{"\xC3\xA9t\xC3\xA9"} << QStringList{QStringLiteral("\u00E9t\u00E9")};
    QTest::newRow("3-byte") << QByteArrayList{"\xE2\x82\xAC"} << QStringList{QStringLiteral("\u20AC")};
    QTest::newRow("4-byte") << QByteArrayList{"\xF0\x9F\x98\x80"} << QStringList{QStringLiteral("\U0001F600")};
    QTest::newRow("lowest of each length") << QByteArrayList{"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"}
                                           << QStringList{QStringLiteral("\u0080\u0800\U00010000")};
    QTest::newRow("next to the surrogates") << QByteArrayList{"\xED\x9F\xBF\xEE\x80\x80"}
                                            << QStringList{QStringLiteral("\uD7FF\uE000")};
    QTest::newRow("highest") << QByteArrayList{"\xF4\x8F\xBF\xBF"} << QStringList{QStringLiteral("\U0010FFFF")};
    QTest::newRow("noncharacter") << QByteArrayList{"\xEF\xBF\xBE"} << QStringList{QStringLiteral("\uFFFE")};

    // A zero byte ends the text of its read; the next read starts afresh.
    QTest::newRow("cut at zero byte") << QByteArrayList{QByteArray("a\0b", 3), "c"} << QStringList{"a", "c"};
    QTest::newRow("zero byte first") << QByteArrayList{QByteArray("\0z", 2)} << QStringList{""};
    QTest::newRow("unfinished character before zero byte") << QByteArrayList{QByteArray("a\xE2\x82\0", 4)}
                                                           << QStringList{QStringLiteral("a\uFFFD\uFFFD")};
    QTest::newRow("fragment, then zero byte") << QByteArrayList{"\xE2", QByteArray("\0", 1)}
                                              << QStringList{QStringLiteral("\uFFFD")};

    QTest::newRow("stray continuation byte") << QByteArrayList{"a\x80z"} << QStringList{QStringLiteral("a\uFFFDz")};
    QTest::newRow("continuation bytes alone") << QByteArrayList{"\x80\xBF"} << QStringList{QStringLiteral("\uFFFD\uFFFD")};
    QTest::newRow("2-byte lead without continuation") << QByteArrayList{"\xC3z"} << QStringList{QStringLiteral("\uFFFDz")};
    QTest::newRow("3-byte lead with one continuation") << QByteArrayList{"\xE2\x82z"}
                                                       << QStringList{QStringLiteral("\uFFFD\uFFFDz")};
    QTest::newRow("4-byte lead with two continuations") << QByteArrayList{"\xF0\x9F\x98z"}
                                                        << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFDz")};
    QTest::newRow("overlong 2-byte") << QByteArrayList{"\xC0\x80\xC1\xBF"}
                                     << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD")};
    QTest::newRow("overlong 3-byte") << QByteArrayList{"\xE0\x80\x80"} << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD")};
    QTest::newRow("overlong 4-byte") << QByteArrayList{"\xF0\x80\x80\x80"}
                                     << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD")};
    QTest::newRow("encoded surrogates") << QByteArrayList{"\xED\xA0\x80\xED\xBF\xBF"}
                                        << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD")};
    QTest::newRow("beyond U+10FFFF") << QByteArrayList{"\xF4\x90\x80\x80"}
                                     << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD")};
    QTest::newRow("C0 and C1 alone") << QByteArrayList{"\xC0z\xC1"} << QStringList{QStringLiteral("\uFFFDz\uFFFD")};
    QTest::newRow("F5 to FF") << QByteArrayList{"\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF"}
                              << QStringList{QString(11, QChar(0xFFFD))};
    QTest::newRow("F5 as a lead byte") << QByteArrayList{"\xF5\x80\x80\x80"}
                                       << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD")};

    // A character that no read completes comes from finish(), as Qt's conversion replaces it.
    QTest::newRow("nothing unfinished") << QByteArrayList{"abc"} << QStringList{"abc"};
    QTest::newRow("unfinished at the end") << QByteArrayList{"ab\xE2\x82"}
                                           << QStringList{"ab", QStringLiteral("\uFFFD\uFFFD")};
    QTest::newRow("only a fragment") << QByteArrayList{"\xF0\x9F\x98"} << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD")};
    QTest::newRow("fragment over two reads") << QByteArrayList{"\xF0", "\x9F\x98"}
                                             << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD")};
    QTest::newRow("lead byte alone") << QByteArrayList{"\xC3"} << QStringList{QStringLiteral("\uFFFD")};

    QTest::newRow("character completed by the next read") << QByteArrayList{"ab\xE2\x82", "\xAC" "c"}
                                                          << QStringList{"ab", QStringLiteral("\u20AC" "c")};
    QTest::newRow("fragment alone, then completed") << QByteArrayList{"\xF0", "\x9F\x98", "\x80"}
                                                    << QStringList{QStringLiteral("\U0001F600")};
    QTest::newRow("fragment, then no continuation") << QByteArrayList{"\xE2", "z"} << QStringList{QStringLiteral("\uFFFDz")};

    // Only the stream's first character may be a byte order mark.
    QTest::newRow("byte order mark first") << QByteArrayList{"\xEF\xBB\xBF" "b"} << QStringList{"b"};
    QTest::newRow("byte order mark later") << QByteArrayList{"a", "\xEF\xBB\xBF" "b"}
                                           << QStringList{"a", QStringLiteral("\uFEFFb")};
    QTest::newRow("byte order mark after a zero byte")
        << QByteArrayList{QByteArray("a\0", 2), "\xEF\xBB\xBF" "b"} << QStringList{"a", QStringLiteral("\uFEFFb")};
    QTest::newRow("byte order mark after a fragment") << QByteArrayList{"\xE2", "\xEF\xBB\xBF" "b"}
                                                      << QStringList{QStringLiteral("\uFFFD\uFEFFb")};
    QTest::newRow("byte order mark inside") << QByteArrayList{"a\xEF\xBB\xBF" "b"} << QStringList{QStringLiteral("a\uFEFFb")};
}

void tst_Utf8Decoder::decode()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(QStringList, texts);
    QCOMPARE(decoded(reads), texts);
}

void tst_Utf8Decoder::split_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QByteArray("abc") << QStringLiteral("abc");
    QTest::newRow("every length") << QByteArray("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z")
                                  << QStringLiteral("a\u00E9\u20AC\U0001F600z");
    QTest::newRow("characters only") << QByteArray("\xF0\x9F\x98\x80\xE2\x82\xAC\xC3\xA9")
                                     << QStringLiteral("\U0001F600\u20AC\u00E9");
    QTest::newRow("byte order mark first") << QByteArray("\xEF\xBB\xBF" "ab") << QStringLiteral("ab");
    QTest::newRow("byte order mark later") << QByteArray("a\xEF\xBB\xBF" "b") << QStringLiteral("a\uFEFFb");
}

// Two reads give the text of the whole, cut only between characters: the first holds back
// no more than the start of one character.
void tst_Utf8Decoder::split()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    for (int offset = 0; offset <= bytes.size(); ++offset) {
        const QByteArray first = bytes.left(offset);
        Utf8Decoder decoder;
        QString head;
        QString tail;
        QString rest;
        if (!decoder.decode(first, &head))
            QVERIFY2(offset < 4, qPrintable(QStringLiteral("nothing written at offset %1").arg(offset)));
        QVERIFY(decoder.decode(bytes.mid(offset), &tail));
        QVERIFY(!decoder.finish(&rest));
        QCOMPARE(head + tail, text);
        QVERIFY2(head.toUtf8().size() > first.size() - 4,
                 qPrintable(QStringLiteral("more than a character held back at offset %1").arg(offset)));
    }
}

void tst_Utf8Decoder::byteByByte_data()
{
    split_data();
}

// Each character comes out as soon as its last byte has arrived.
void tst_Utf8Decoder::byteByByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    Utf8Decoder decoder;
    QString whole;
    QString piece;
    for (char byte : bytes) {
        if (!decoder.decode(QByteArray(1, byte), &piece))
            continue;
        QVERIFY2(piece.toUcs4().size() <= 1, qPrintable(piece));
        whole += piece;
    }
    QVERIFY(!decoder.finish(&piece));
    QCOMPARE(whole, text);
}

// A new connection drops what the last one left unfinished, and may begin with a byte order
// mark again.
void tst_Utf8Decoder::reset()
{
    Utf8Decoder decoder;
    QString text;
    QVERIFY(decoder.decode("a", &text));
    QVERIFY(!decoder.decode("\xE2\x82", &text));
    decoder.reset();
    QVERIFY(!decoder.finish(&text));
    QVERIFY(decoder.decode("\xEF\xBB\xBF" "b\xAC", &text));
    QCOMPARE(text, QStringLiteral("b\uFFFD"));
}

void tst_Utf8Decoder::unfinishedTail_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("tail");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("ascii") << QByteArray("ab") << 0;
    QTest::newRow("2-byte lead") << QByteArray("a\xC3") << 1;
    QTest::newRow("whole 2-byte") << QByteArray("\xC3\xA9") << 0;
    QTest::newRow("3-byte lead") << QByteArray("\xE2") << 1;
    QTest::newRow("3-byte, two of three") << QByteArray("a\xE2\x82") << 2;
    QTest::newRow("whole 3-byte") << QByteArray("\xE2\x82\xAC") << 0;
    QTest::newRow("4-byte, three of four") << QByteArray("\xF0\x9F\x98") << 3;
    QTest::newRow("whole 4-byte") << QByteArray("\xF0\x9F\x98\x80") << 0;
    QTest::newRow("highest lead byte") << QByteArray("\xF4") << 1;
    QTest::newRow("continuation bytes alone") << QByteArray("\x80\x80\x80") << 0;
    // Bytes that can never begin a character are not held back.
    QTest::newRow("C0") << QByteArray("\xC0") << 0;
    QTest::newRow("C1") << QByteArray("\xC1") << 0;
    QTest::newRow("F5") << QByteArray("\xF5\x80") << 0;
    QTest::newRow("FF") << QByteArray("\xFF") << 0;
}

void tst_Utf8Decoder::unfinishedTail()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, tail);
    QCOMPARE(Utf8::unfinishedTail(bytes), tail);
}

QTEST_APPLESS_MAIN(tst_Utf8Decoder)
#include "tst_utf8decoder.moc"
