#include "bridgeprocess.h"
#include "bridgesupply.h"
#include "desktop.h"
#include "numberedlines.h"
#include "rowbridge.h"

#include <QElapsedTimer>
#include <QtTest>

// The bridge as a whole, run as a client runs it.
class tst_OxlConsole : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // run mode
    void refusedModes_data();
    void refusedModes();
    void furtherArgumentsIgnored();

    // connecting
    void firstAttemptAfterTwoSeconds();
    void reconnectsAfterDesktopCloses();

    // client to desktop
    void linesForwarded_data();
    void linesForwarded();
    void longLineForwarded();
    void linesBeforeConnectionDropped();
    void heldBackWhileDesktopDoesNotRead();
    void heldBackWhileDesktopReadsSlowly();

    // desktop to client
    void textsWritten_data();
    void textsWritten();
    void clientStopsReading();
    void largeTextWritten();
    void textsWhileSendWaits_data();
    void textsWhileSendWaits();
    void sampleAnswerEnd_data();
    void sampleAnswerEnd();

    // end of input
    void endOfInput_data();
    void endOfInput();
    void endOfInputBeforeConnecting();

private:
    BridgeSupply m_bridges{6};
};

void tst_OxlConsole::initTestCase()
{
    m_bridges.startAhead();
}

void tst_OxlConsole::refusedModes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("none") << QStringList();
    QTest::newRow("lower case") << QStringList{"calyxen"};
    QTest::newRow("upper case") << QStringList{"CALYXEN"};
    QTest::newRow("trailing blank") << QStringList{"Calyxen "};
    QTest::newRow("leading blank") << QStringList{" Calyxen"};
    QTest::newRow("longer") << QStringList{"Calyxens"};
    QTest::newRow("empty") << QStringList{""};
    QTest::newRow("second argument") << QStringList{"run", "Calyxen"};
}

void tst_OxlConsole::refusedModes()
{
    QFETCH(QStringList, arguments);
    BridgeProcess bridge;
    QVERIFY(bridge.listen());
    bridge.process.setProcessChannelMode(QProcess::SeparateChannels);
    bridge.start(arguments);
    QVERIFY(bridge.process.waitForFinished(3000));
    QCOMPARE(bridge.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge.process.exitCode(), 0);
    QCOMPARE(bridge.output(), QByteArray());
    QCOMPARE(bridge.process.readAllStandardError(), QByteArray());
    QVERIFY(!bridge.server.waitForNewConnection(100));
}

void tst_OxlConsole::furtherArgumentsIgnored()
{
    BridgeProcess bridge;
    QVERIFY(bridge.listen());
    bridge.start({"Calyxen", "extra", "--flag"});
    QLocalSocket *desktop = bridge.accept();
    QVERIFY(desktop);
    bridge.write("still here\n");
    QCOMPARE(BridgeProcess::receive(desktop, 11), QByteArray("still here\n"));
}

void tst_OxlConsole::firstAttemptAfterTwoSeconds()
{
    BridgeProcess bridge;
    QVERIFY(bridge.listen());
    QElapsedTimer clock;
    clock.start();
    bridge.start();
    QVERIFY(bridge.accept());
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 1990, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < 6000, qPrintable(QString::number(elapsed)));
    // Once connected the timer is stopped: no further attempt.
    QVERIFY(!bridge.server.waitForNewConnection(4500));
    QCOMPARE(bridge.output(), QByteArray());
}

void tst_OxlConsole::reconnectsAfterDesktopCloses()
{
    const auto bridge = m_bridges.take();
    QLocalSocket *first = bridge->accept();
    QVERIFY(first);
    QElapsedTimer clock;
    clock.start();
    first->disconnectFromServer();
    QLocalSocket *second = bridge->accept();
    QVERIFY(second);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 1900 && elapsed < 6000, qPrintable(QString::number(elapsed)));
    bridge->write("after\n");
    QCOMPARE(BridgeProcess::receive(second, 6), QByteArray("after\n"));
    // The close itself is not reported to the client.
    QCOMPARE(bridge->output(), QByteArray());
}

void tst_OxlConsole::linesForwarded_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii") << QByteArray("abc\n") << QByteArray("abc\n");
    QTest::newRow("empty line") << QByteArray("\n") << QByteArray("\n");
    QTest::newRow("several") << QByteArray("one\ntwo\n\nthree\n") << QByteArray("one\ntwo\n\nthree\n");
    QTest::newRow("utf-8") << QByteArray("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80\n")
                           << QByteArray("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80\n");
    QTest::newRow("zero byte") << QByteArray("a\0b\n", 4) << QByteArray("a\0b\n", 4);
#ifdef Q_OS_WIN
    // The C runtime's text mode on standard input.
    QTest::newRow("carriage return before line feed dropped") << QByteArray("a\r\nb\r\n") << QByteArray("a\nb\n");
    QTest::newRow("lone carriage return kept") << QByteArray("a\rb\n") << QByteArray("a\rb\n");
#else
    QTest::newRow("carriage return") << QByteArray("a\r\n") << QByteArray("a\r\n");
    QTest::newRow("0x1a is data") << QByteArray("a\x1a" "b\n") << QByteArray("a\x1a" "b\n");
#endif
    QTest::newRow("invalid utf-8") << QByteArray("x\xFFy\n") << QByteArray("x\xEF\xBF\xBDy\n");
}

void tst_OxlConsole::linesForwarded()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    bridge->write(input);
    QCOMPARE(BridgeProcess::receive(desktop, expected.size()), expected);
    // Nothing more arrives within a while. Bytes, not readiness: Qt's Windows pipe reader
    // still reports readiness for bytes that were already read.
    QTest::qWait(300);
    QCOMPARE(desktop->readAll(), QByteArray());
}

void tst_OxlConsole::longLineForwarded()
{
    QByteArray line(8 * 1024 * 1024, 'x');
    for (int i = 0; i < line.size(); i += 4099)
        line[i] = char('a' + i % 26);
    line.append('\n');
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    bridge->write(line);
    const QByteArray received = BridgeProcess::receive(desktop, line.size(), 30000);
    QCOMPARE(received.size(), line.size());
    QVERIFY(received == line);
}

void tst_OxlConsole::linesBeforeConnectionDropped()
{
    BridgeProcess bridge;
    QVERIFY(bridge.listen());
    bridge.start();
    bridge.write("early\n");
    QLocalSocket *desktop = bridge.accept();
    QVERIFY(desktop);
    bridge.write("late\n");
    QCOMPARE(BridgeProcess::receive(desktop, 5), QByteArray("late\n"));
    // Nor does the early line follow within a while.
    QTest::qWait(300);
    QCOMPARE(desktop->readAll(), QByteArray());
}

// A client that writes faster than the desktop application reads must not make the bridge
// read its input without end; once the application reads again, every line arrives, in order.
void tst_OxlConsole::heldBackWhileDesktopDoesNotRead()
{
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    // Qt takes no more bytes off a socket whose one-byte read buffer is full.
    desktop->setReadBufferSize(1);
#ifdef Q_OS_WIN
    // Under wine each line is a round trip through the named pipe, and the bridge forwards
    // between one and five thousand lines a second as the machine's load varies: longer lines
    // keep the count, and the time, small. Half the input still lets a reader without limit
    // take more than the bound below.
    const int inputSize = 8 * 1024 * 1024;
    const int lineSize = 1024;
#else
    const int inputSize = 16 * 1024 * 1024;
    const int lineSize = 64;
#endif
    const QByteArray lines = numberedLines("", inputSize / lineSize, lineSize);
    QByteArray received;
    bridge->feed(lines);
    const qint64 bound = 4 * 1024 * 1024;
    QVERIFY2(!QTest::qWaitFor([&] { return bridge->taken() > bound; }, 3000), qPrintable(QString::number(bridge->taken())));

    // The rest of the input is written while the desktop side reads, both from the event loop.
    const QObject connections;
    connect(desktop, &QLocalSocket::readyRead, &connections, [&] { received += desktop->readAll(); });
    desktop->setReadBufferSize(0);
    received += desktop->readAll();
    QTRY_COMPARE_WITH_TIMEOUT(bridge->taken(), qint64(lines.size()), 120000);
    bridge->closeInput();
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), lines.size(), 60000);
    QVERIFY(received == lines);
    QTRY_COMPARE_WITH_TIMEOUT(bridge->process.state(), QProcess::NotRunning, 10000);
    QCOMPARE(bridge->process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge->process.exitCode(), 0);
}

// A desktop application that reads slowly takes each large line in many pieces: the bridge
// goes on to the next line only once the one before has been written.
void tst_OxlConsole::heldBackWhileDesktopReadsSlowly()
{
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    desktop->setReadBufferSize(256 * 1024);
    const QByteArray line = QByteArray(4 * 1024 * 1024 - 1, 'y') + '\n';
    const QByteArray lines = line.repeated(16);
    bridge->feed(lines);
    QByteArray received;
    qint64 mostAhead = 0;
    QTimer reader;
    connect(&reader, &QTimer::timeout, [&] {
        received += desktop->read(256 * 1024);
        mostAhead = qMax(mostAhead, bridge->taken() - received.size());
    });
    reader.start(20);
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), lines.size(), 120000);
    QVERIFY(received == lines);
    // What is on its way, and one line besides: nothing piles up.
    QVERIFY2(mostAhead <= 4 * line.size(), qPrintable(QString::number(mostAhead)));
}

void tst_OxlConsole::textsWritten_data()
{
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("one text") << QByteArrayList{"hello"} << QByteArray("hello\n");
    QTest::newRow("two lines in one read") << QByteArrayList{"one\ntwo\n"} << QByteArray("one\ntwo\n\n");
    QTest::newRow("separate reads") << QByteArrayList{"one", "two"} << QByteArray("one\ntwo\n");
    QTest::newRow("cut at zero byte") << QByteArrayList{QByteArray("a\0b", 3), "c"} << QByteArray("a\nc\n");
    QTest::newRow("character split across reads")
        << QByteArrayList{"price \xE2\x82", "\xAC 5"} << QByteArray("price \n\xE2\x82\xAC 5\n");
    QTest::newRow("only a fragment") << QByteArrayList{"\xF0\x9F", "\x98\x80"} << QByteArray("\xF0\x9F\x98\x80\n");
    QTest::newRow("invalid utf-8") << QByteArrayList{"\xFF\xFE"} << QByteArray("\xEF\xBF\xBD\xEF\xBF\xBD\n");
}

void tst_OxlConsole::textsWritten()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QByteArray, expected);
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    for (const QByteArray &bytes : writes) {
        const QByteArray before = bridge->output();
        desktop->write(bytes);
        QVERIFY(desktop->waitForBytesWritten(5000));
        // Gives the bridge time to take these bytes as a read of their own. A read it has made
        // shows in its output, unless it held only part of a character.
        static_cast<void>(QTest::qWaitFor([&] { return bridge->output() != before; }, 300));
    }
    QTRY_COMPARE_WITH_TIMEOUT(bridge->output(), BridgeProcess::written(expected), 5000);
}

void tst_OxlConsole::clientStopsReading()
{
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    bridge->process.closeReadChannel(QProcess::StandardOutput);
    for (int i = 0; i < 20; ++i) {
        desktop->write(QByteArray(4096, 'z'));
        desktop->waitForBytesWritten(1000);
    }
    // Time for the bridge to write these texts to the closed output.
    QTest::qWait(300);
    bridge->write("alive\n");
    QCOMPARE(BridgeProcess::receive(desktop, 6), QByteArray("alive\n"));
    QCOMPARE(bridge->process.state(), QProcess::Running);
}

// A text far larger than one read arrives whole and unchanged; only line ends are added,
// where the bridge's reads ended.
void tst_OxlConsole::largeTextWritten()
{
    QByteArray text;
    for (int i = 0; text.size() < 8 * 1024 * 1024; ++i)
        text += "w\xC3\xB6rd " + QByteArray::number(i) + ' ';
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    desktop->write(text);
    QTRY_VERIFY_WITH_TIMEOUT(bridge->output().size() > text.size()
                                 && BridgeProcess::withoutLineEnds(bridge->output()).size() == text.size(),
                             30000);
    const QByteArray output = bridge->output();
    QVERIFY(output.endsWith('\n'));
    QVERIFY(BridgeProcess::withoutLineEnds(output) == text);
}

void tst_OxlConsole::textsWhileSendWaits_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("thenClose");
    QTest::newRow("more than the socket holds") << QByteArray(8 * 1024 * 1024, 't') << false;
    QTest::newRow("last text before the close") << QByteArray("GOODBYE") << true;
}

// The desktop application takes nothing of a large line, so the bridge waits in its send;
// what the application sends meanwhile reaches the client at once, and nothing of it is lost
// when the application then closes and the bridge's write fails.
void tst_OxlConsole::textsWhileSendWaits()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, thenClose);
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    desktop->setReadBufferSize(1);
    bridge->write(QByteArray(4 * 1024 * 1024, 'x') + '\n');
    // The send has begun.
    QTRY_VERIFY(desktop->bytesAvailable() > 0);
    desktop->write(text);
    if (thenClose) {
        QVERIFY(desktop->waitForBytesWritten(5000));
        desktop->abort();
    }
    // Far less than the send's own 30 s bound.
    QTRY_VERIFY_WITH_TIMEOUT(BridgeProcess::withoutLineEnds(bridge->output()) == text, 10000);
    QVERIFY(bridge->output().endsWith('\n'));
    // Nothing that Qt might warn about, such as a read from a socket it has closed.
    QCOMPARE(bridge->process.readAllStandardError(), QByteArray());
    desktop->abort();
}

void tst_OxlConsole::sampleAnswerEnd_data()
{
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<std::shared_ptr<RowBridge>>("run");
    const auto row = [](const char *name, const QStringList &arguments, const QByteArray &end) {
        QTest::newRow(name) << end << RowBridge::prepare([arguments](RowBridge &run) {
            if (!run.desktop().start(arguments + QStringList{"--greeting", "ready"}))
                return false;
            run.bridge().start();
            return true;
        });
    };
    row("none", {}, QByteArray());
    row("marker", {"--answer-end", "<<END>>"}, "<<END>>");
    row("escapes", {"--answer-end", "\\t<<END>>\\\\"}, "\t<<END>>\\");
}

// The framing a client can try against the sample application: once the line ends are dropped,
// the greeting and each answer end with the given text.
void tst_OxlConsole::sampleAnswerEnd()
{
    QFETCH(QByteArray, end);
    QFETCH(std::shared_ptr<RowBridge>, run);
    QVERIFY(run->ready());
    BridgeProcess &bridge = run->bridge();
    // Lines written before the bridge connects are dropped.
    QTRY_VERIFY_WITH_TIMEOUT(!bridge.output().isEmpty(), 10000);
    bridge.write("one\ntwo\n");
    const QByteArray answers = "ready" + end + "OXL received: one" + end + "OXL received: two" + end;
    QTRY_COMPARE_WITH_TIMEOUT(BridgeProcess::withoutLineEnds(bridge.output()), answers, 10000);
}

void tst_OxlConsole::endOfInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("closeInput");
    // The desktop application takes nothing for a second, so that the bridge still holds
    // much of the input when it ends.
    QTest::addColumn<bool>("pause");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("last line ended") << QByteArray("a\nb\n") << true << false << QByteArray("a\nb\n");
    QTest::newRow("last line unended") << QByteArray("a\nlast") << true << false << QByteArray("a\nlast\n");
    QTest::newRow("nothing") << QByteArray() << true << false << QByteArray();
#ifdef Q_OS_WIN
    // Qt's Windows pipe writer takes each write whole before it returns, so nothing is held
    // back; and the test would hand the whole input to one pipe operation, which the close
    // of the channel cancels.
#else
    const QByteArray held = numberedLines("", 5 * 1000 * 1000 / 64, 64) + QByteArray(4 * 1024 * 1024, 'L')
                            + "\nend\n";
    QTest::newRow("held back by a pause") << held << true << true << held;
#endif
#ifdef Q_OS_WIN
    // In text mode a byte 0x1A from a pipe ends the input while the pipe stays open.
    QTest::newRow("0x1a") << QByteArray("a\nb\x1a" "c\nd\n") << false << false << QByteArray("a\nb\n");
    QTest::newRow("0x1a first") << QByteArray("\x1a" "a\n") << false << false << QByteArray();
#endif
}

// Every line read reaches the desktop application, and a late answer still reaches the client.
void tst_OxlConsole::endOfInput()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, closeInput);
    QFETCH(bool, pause);
    QFETCH(QByteArray, expected);
    const auto bridge = m_bridges.take();
    QLocalSocket *desktop = bridge->accept();
    QVERIFY(desktop);
    if (pause)
        desktop->setReadBufferSize(1);
    bridge->process.write(input);
    if (closeInput)
        bridge->closeInput();
    if (pause) {
        // The desktop application's pause.
        QTest::qWait(1000);
        desktop->setReadBufferSize(0);
    }
    QByteArray received;
    const QObject connections;
    connect(desktop, &QLocalSocket::readyRead, &connections, [&] { received += desktop->readAll(); });
    received += desktop->readAll();
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), expected.size(), 60000);
    QVERIFY(received == expected);
    // The answer comes a while after the last line.
    QTest::qWait(200);
    desktop->write("answer");
    QVERIFY(desktop->waitForBytesWritten(1000));
    QVERIFY(bridge->process.waitForFinished(5000));
    QCOMPARE(bridge->process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge->process.exitCode(), 0);
    QCOMPARE(bridge->output(), BridgeProcess::written("answer\n"));
    // No message stands for the end itself.
    QTRY_COMPARE(desktop->state(), QLocalSocket::UnconnectedState);
    QCOMPARE(received, expected);
}

void tst_OxlConsole::endOfInputBeforeConnecting()
{
    BridgeProcess bridge;
    QVERIFY(bridge.listen());
    bridge.start();
    bridge.write("dropped\n");
    bridge.closeInput();
    QVERIFY(bridge.process.waitForFinished(5000));
    QCOMPARE(bridge.process.exitCode(), 0);
    QVERIFY(!bridge.server.waitForNewConnection(100));
}

QTEST_GUILESS_MAIN(tst_OxlConsole)
#include "tst_oxlconsole.moc"
