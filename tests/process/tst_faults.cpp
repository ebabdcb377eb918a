#include "bridgeprocess.h"
#include "clientfifo.h"
#include "desktop.h"
#include "numberedlines.h"
#include "outputpipe.h"
#include "rowbridge.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

// The bridge between the real sample desktop application and a client that misbehaves, or
// a desktop application that does: nothing may wedge, crash or get lost.
class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    // the desktop application fails
    void desktopKilledAndRestarted_data();
    void desktopKilledAndRestarted();
    void desktopStallsWhileClientSends();
    void desktopTakesNothingForLong();
    void hostileDesktopBytes_data();
    void hostileDesktopBytes();

    // the client floods or misbehaves
    void bothDirectionsFlood();
    void clientClosesStandardOutput();
    void nonBlockingOutputFull();
#ifdef Q_OS_LINUX
    void largeTextWhileClientReadsLate();
#endif
    void hostileClientInput_data();
    void hostileClientInput();
    void closedStandardStreams_data();
    void closedStandardStreams();
    void lineTooLargeForMemory_data();
    void lineTooLargeForMemory();
    void failureStatus_data();
    void failureStatus();

private:
    static bool awaitGreeting(BridgeProcess &bridge);
    static bool startAndAwaitGreeting(BridgeProcess &bridge);
};

const QByteArray greeting = "ready";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A sanitizer's runtime needs more address space, stack and descriptors than a tight limit
// leaves.
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

// Starts the bridge against a desktop application that greets with "ready" and waits until
// the greeting arrives, that is until the bridge is connected.
bool tst_Faults::startAndAwaitGreeting(BridgeProcess &bridge)
{
    bridge.start();
    return awaitGreeting(bridge);
}

bool tst_Faults::awaitGreeting(BridgeProcess &bridge)
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && !bridge.output().contains(greeting + '\n'))
        bridge.process.waitForReadyRead(100);
    return bridge.output() == greeting + '\n';
}

void tst_Faults::desktopKilledAndRestarted_data()
{
    QTest::addColumn<bool>("midStream");
    QTest::newRow("while idle") << false;
    QTest::newRow("in mid-stream") << true;
}

void tst_Faults::desktopKilledAndRestarted()
{
    QFETCH(bool, midStream);
    BridgeProcess bridge;
    // Like many clients, this one never reads the bridge's standard error. Warnings that pile up
    // there with each line or each lost connection would in the end fill the pipe and block
    // the bridge, so there must be none.
    ClientFifo errors(bridge, QStringLiteral("stderr"));
    QVERIFY(errors.isOpen());
    bridge.process.setStandardErrorFile(errors.path());
    Desktop first(bridge);
    QVERIFY(first.start({"--quiet", "--greeting", greeting}));
    QVERIFY(startAndAwaitGreeting(bridge));
    if (midStream)
        bridge.write(numberedLines("before ", 100000, 40));

    QElapsedTimer clock;
    clock.start();
    first.process.kill();
    QVERIFY(first.process.waitForFinished(5000));
    Desktop second(bridge);
    QVERIFY(second.start({"--quiet", "--greeting", greeting, "--record", second.recordPath()}));
    QTRY_COMPARE_WITH_TIMEOUT(bridge.output().count(greeting + '\n'), 2, 15000);
    // The close starts the 2000 ms cadence again: the first or, should the application not
    // serve yet, the second attempt connects.
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed < 2 * 2000 + 3000, qPrintable(QString::number(elapsed)));

    const QByteArray after = numberedLines("after ", 20000, 60);
    bridge.write(after);
    QTRY_COMPARE_WITH_TIMEOUT(second.recordedSize(), qint64(after.size()), 30000);
    QVERIFY(second.recorded() == after);
    QCOMPARE(bridge.process.state(), QProcess::Running);
    QCOMPARE(errors.read(), QByteArray());
}

void tst_Faults::desktopStallsWhileClientSends()
{
    BridgeProcess bridge;
    Desktop desktop(bridge);
    QVERIFY(desktop.start({"--quiet", "--greeting", greeting, "--stall", "8000", "--record", desktop.recordPath()}));
    QVERIFY(startAndAwaitGreeting(bridge));
    const QByteArray lines = numberedLines("stalled ", 200000, 100);
    const int first = 64 * 1024;
    bridge.write(lines.left(first));
    // The application does not read yet: what the bridge sends backs up behind it.
    QCOMPARE(desktop.recordedSize(), qint64(0));
    bridge.write(lines.mid(first));
    QTRY_COMPARE_WITH_TIMEOUT(desktop.recordedSize(), qint64(lines.size()), 120000);
    QVERIFY(desktop.recorded() == lines);
    QCOMPARE(bridge.process.state(), QProcess::Running);
}

// A desktop application that takes nothing for longer than a send waits. While input lasts the
// bridge waits as long as it takes and reads nothing further; at the end of input it waits once
// more, then ends, with a failure status if bytes were left unwritten. The three cases run at
// once, as each lasts for such waits.
void tst_Faults::desktopTakesNothingForLong()
{
    const QByteArray line = QByteArray(4 * 1024 * 1024 - 1, 'x') + '\n';
    BridgeProcess held, resumed, abandoned;
    Desktop heldDesktop(held), resumedDesktop(resumed), abandonedDesktop(abandoned);
    const QStringList arguments = {"--quiet", "--greeting", greeting, "--stall"};
    QVERIFY(heldDesktop.start(arguments + QStringList{"36000", "--record", heldDesktop.recordPath()}));
    QVERIFY(resumedDesktop.start(arguments + QStringList{"36000", "--record", resumedDesktop.recordPath()}));
    QVERIFY(abandonedDesktop.start(arguments + QStringList{"600000", "--record", abandonedDesktop.recordPath()}));
    for (BridgeProcess *bridge : {&held, &resumed, &abandoned})
        bridge->start();
    for (BridgeProcess *bridge : {&held, &resumed, &abandoned})
        QVERIFY(awaitGreeting(*bridge));
    QElapsedTimer sinceGreetings;
    sinceGreetings.start();
    held.feed(line.repeated(6));
    resumed.write(line.repeated(2));
    resumed.closeInput();
    abandoned.write(line.left(2000000));
    abandoned.closeInput();

    // Past the first wait, well before the pause ends: the line being sent and the one read
    // ahead of it, no more.
    QTest::qWait(int(33000 - sinceGreetings.elapsed()));
    QVERIFY2(held.taken() < 2 * line.size() + line.size() / 2, qPrintable(QString::number(held.taken())));

    QTRY_COMPARE_WITH_TIMEOUT(resumedDesktop.recordedSize(), qint64(2 * line.size()), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(resumed.process.state(), QProcess::NotRunning, 10000);
    QCOMPARE(resumed.process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(heldDesktop.recordedSize(), qint64(6 * line.size()), 30000);
    QVERIFY(heldDesktop.recorded() == line.repeated(6));
    held.closeInput();
    QTRY_COMPARE_WITH_TIMEOUT(held.process.state(), QProcess::NotRunning, 10000);
    QCOMPARE(held.process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(abandoned.process.state(), QProcess::NotRunning, 40000);
    QCOMPARE(abandoned.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(abandoned.process.exitCode(), 3);
    QCOMPARE(abandonedDesktop.recordedSize(), qint64(0));
}

void tst_Faults::hostileDesktopBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::shared_ptr<RowBridge>>("run");
    const auto row = [](const char *name, const QByteArray &bytes) {
        QTest::newRow(name) << bytes << RowBridge::prepare([bytes](RowBridge &run) {
            if (!run.desktop().start({"--greeting", "", "--send-hex", QString::fromLatin1(bytes.toHex())}))
                return false;
            run.bridge().start();
            return true;
        });
    };
    row("invalid utf-8", QByteArray("\xC0\xAF" "a\xED\xA0\x80" "b\xF8\x88\x80\x80\x80" "c\xF4\x90\x80\x80" "d\xFF"));
    row("zero bytes", QByteArray("ab\0\0cd\0", 7));
    row("zero byte first", QByteArray("\0abc", 4));
    row("0xff run", QByteArray(60000, '\xFF'));
    row("0xff run in text", QByteArray("text ") + QByteArray(5000, '\xFF') + QByteArray(" \xE2\x82\xAC"));
}

// Whatever the desktop application sends, the bridge writes its conversion and stays up.
void tst_Faults::hostileDesktopBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::shared_ptr<RowBridge>, run);
    QVERIFY(run->ready());
    BridgeProcess &bridge = run->bridge();
    const int zero = bytes.indexOf('\0');
    const QByteArray text = QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero)).toUtf8();
    // The line ends fall where the bridge's reads end.
    QTRY_VERIFY_WITH_TIMEOUT(bridge.output().endsWith('\n') && BridgeProcess::withoutLineEnds(bridge.output()) == text, 15000);
    bridge.write("ping\n");
    QTRY_VERIFY_WITH_TIMEOUT(bridge.output().endsWith("OXL received: ping\n"), 10000);
    QCOMPARE(BridgeProcess::withoutLineEnds(bridge.output()), text + "OXL received: ping");
    QCOMPARE(bridge.process.state(), QProcess::Running);
}

void tst_Faults::bothDirectionsFlood()
{
    BridgeProcess bridge;
    Desktop desktop(bridge);
    QVERIFY(desktop.start({"--echo", "--greeting", greeting, "--record", desktop.recordPath()}));
    QVERIFY(startAndAwaitGreeting(bridge));
    const QByteArray lines = numberedLines("flood ", 200000, 40);
    bridge.write(lines);
    const QByteArray sent = BridgeProcess::withoutLineEnds(lines);
    QTRY_COMPARE_WITH_TIMEOUT(BridgeProcess::withoutLineEnds(bridge.output()).size(), greeting.size() + sent.size(), 120000);
    QVERIFY(BridgeProcess::withoutLineEnds(bridge.output()) == greeting + sent);
    QTRY_COMPARE_WITH_TIMEOUT(desktop.recordedSize(), qint64(lines.size()), 30000);
    QVERIFY(desktop.recorded() == lines);
    QCOMPARE(bridge.process.state(), QProcess::Running);
}

void tst_Faults::clientClosesStandardOutput()
{
    BridgeProcess bridge;
    Desktop desktop(bridge);
    // Every line is answered, so the bridge keeps writing to the closed output.
    QVERIFY(desktop.start({"--greeting", greeting, "--record", desktop.recordPath()}));
    ClientFifo output(bridge, QStringLiteral("stdout"));
    QVERIFY(output.isOpen());
    bridge.process.setStandardOutputFile(output.path());
    bridge.start();
    QTRY_COMPARE_WITH_TIMEOUT(output.read(), greeting + '\n', 10000);
    output.close();

    const QByteArray lines = numberedLines("unread ", 2000, 50);
    bridge.write(lines);
    QTRY_COMPARE_WITH_TIMEOUT(desktop.recordedSize(), qint64(lines.size()), 30000);
    // Lines sent after the bridge's writes have failed still go through.
    bridge.write("still forwarded\n");
    QTRY_COMPARE_WITH_TIMEOUT(desktop.recorded(), lines + "still forwarded\n", 10000);
    QCOMPARE(bridge.process.state(), QProcess::Running);
    // A client that stopped reading is not a failure of the bridge.
    bridge.closeInput();
    QTRY_COMPARE_WITH_TIMEOUT(bridge.process.state(), QProcess::NotRunning, 10000);
    QCOMPARE(bridge.process.exitCode(), 0);
}

// The client's event loop left the output it shares with the bridge non-blocking, and the
// client reads nothing for a while: a write that finds the pipe full waits, and neither that
// text nor any later one is lost.
void tst_Faults::nonBlockingOutputFull()
{
    BridgeProcess bridge;
    QVERIFY(bridge.listen());
    OutputPipe output(true);
    output.start(bridge);
    QLocalSocket *desktop = bridge.accept();
    QVERIFY(desktop);
    const QByteArray text(1024 * 1024, 't');
    desktop->write(text);
    QTRY_VERIFY(output.pending() >= 64 * 1024);
    // The client's pause.
    QTest::qWait(500);
    desktop->write("later");
    QTRY_COMPARE_WITH_TIMEOUT(BridgeProcess::withoutLineEnds(output.read()), text + "later", 10000);
    QVERIFY(output.read().endsWith('\n'));
}

#ifdef Q_OS_LINUX
// A client busy elsewhere reads its output late. A desktop text of 64 KiB and its line end
// must fit in the output pipe, or the bridge would stop forwarding the client's lines until
// the client reads.
void tst_Faults::largeTextWhileClientReadsLate()
{
    BridgeProcess bridge;
    ClientFifo output(bridge, QStringLiteral("stdout"));
    QVERIFY(output.isOpen());
    bridge.process.setStandardOutputFile(output.path());
    QLocalSocket *desktop = bridge.startConnected();
    QVERIFY(desktop);
    const QByteArray text(64 * 1024, 't');
    desktop->write(text);
    QVERIFY(desktop->waitForBytesWritten(5000));

    bridge.write("ping\n");
    QCOMPARE(BridgeProcess::receive(desktop, 5), QByteArray("ping\n"));
    QTRY_VERIFY(output.read().size() >= text.size() + 1);
    QCOMPARE(BridgeProcess::withoutLineEnds(output.read()), text);
}
#endif

void tst_Faults::hostileClientInput_data()
{
    // Rows whose input is valid UTF-8 must arrive byte for byte; the others as Qt's
    // conversion of each line replaces what is invalid.
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<std::shared_ptr<RowBridge>>("run");
    const auto started = [] {
        return RowBridge::prepare([](RowBridge &run) {
            if (!run.desktop().start({"--quiet", "--greeting", greeting, "--record", run.desktop().recordPath()}))
                return false;
            run.bridge().start();
            return true;
        });
    };

    const QByteArray pattern = "0123456789 \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\x1a ";
    QTest::newRow("64 MiB line") << pattern.repeated(64 * 1024 * 1024 / pattern.size()) + '\n' << true << started();

    QByteArray random(4 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(20240611);
    generator.fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
    QTest::newRow("random binary") << random + '\n' << false << started();

    static const char control[] = "a\r\n\r\n\x1a\n\x1a" "b\r\x1a\n\0\0\n\r\0\x1a\n\0\n";
    QTest::newRow("carriage returns, 0x1a and zero bytes") << QByteArray(control, sizeof control - 1) << true << started();
    QTest::newRow("invalid sequences")
        << QByteArray("\xC0\xAF\n\xED\xA0\x80\n\xF4\x90\x80\x80\nx\xFF\xFEy\n\xE2\x82\n\xF0\x9F\x98\n\x80\n") << false
        << started();
}

void tst_Faults::hostileClientInput()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, valid);
    QFETCH(std::shared_ptr<RowBridge>, run);
    QByteArray expected;
    if (valid) {
        expected = input;
    } else {
        QByteArrayList lines = input.split('\n');
        lines.removeLast();
        for (const QByteArray &line : qAsConst(lines))
            expected += QString::fromUtf8(line.constData(), line.size()).toUtf8() + '\n';
        QVERIFY(expected != input);
    }

    QVERIFY(run->ready());
    BridgeProcess &bridge = run->bridge();
    const Desktop &desktop = run->desktop();
    QVERIFY(awaitGreeting(bridge));
    bridge.write(input + "after\n");
    expected += "after\n";
    QTRY_COMPARE_WITH_TIMEOUT(desktop.recordedSize(), qint64(expected.size()), 120000);
    QVERIFY(desktop.recorded() == expected);
    QCOMPARE(bridge.process.state(), QProcess::Running);
}

void tst_Faults::closedStandardStreams_data()
{
    QTest::addColumn<QString>("redirections");
    QTest::addColumn<bool>("inputOpen");
    QTest::newRow("input") << QStringLiteral("<&-") << false;
    QTest::newRow("all three") << QStringLiteral("<&- >&- 2>&-") << false;
    QTest::newRow("error") << QStringLiteral("2>&-") << true;
}

// A standard stream that starts closed is the null device, not the next descriptor the bridge
// opens; with its input closed the bridge has nothing to read and ends at once.
void tst_Faults::closedStandardStreams()
{
    QFETCH(QString, redirections);
    QFETCH(bool, inputOpen);
    BridgeProcess bridge;
    Desktop desktop(bridge);
    QVERIFY(desktop.start({"--greeting", greeting}));
    bridge.start({QStringLiteral("-c"), QStringLiteral("exec \"$0\" Calyxen ") + redirections,
                  QStringLiteral(OXLCONSOLE_PATH)},
                 QStringLiteral("/bin/sh"));
    if (inputOpen) {
        const QString errorStream = QStringLiteral("/proc/%1/fd/2").arg(bridge.process.processId());
        QTRY_COMPARE(QFile::symLinkTarget(errorStream), QStringLiteral("/dev/null"));
        QVERIFY(awaitGreeting(bridge));
        bridge.closeInput();
    }
    QVERIFY(bridge.process.waitForFinished(5000));
    QCOMPARE(bridge.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge.process.exitCode(), 0);
    QCOMPARE(bridge.output(), inputOpen ? greeting + '\n' : QByteArray());
}

void tst_Faults::lineTooLargeForMemory_data()
{
    QTest::addColumn<int>("limitMiB");
    QTest::addColumn<int>("lineMiB");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<std::shared_ptr<RowBridge>>("run");
    const auto row = [](const char *name, int limitMiB, int lineMiB, bool fits) {
        QTest::newRow(name) << limitMiB << lineMiB << fits
                            << (sanitized ? nullptr : RowBridge::prepare([limitMiB](RowBridge &run) {
                                   if (!run.bridge().listen())
                                       return false;
                                   run.bridge().start({QStringLiteral("-c"),
                                                     QStringLiteral("ulimit -v %1 && exec \"$0\" Calyxen").arg(limitMiB * 1024),
                                                     QStringLiteral(OXLCONSOLE_PATH)},
                                                    QStringLiteral("/bin/sh"));
                                   return true;
                               }));
    };
    row("fits", 800, 200, true);
    row("does not fit", 400, 300, false);
}

// Under a limit on its address space the bridge takes a line of a quarter of it; a line that
// does not fit ends it as a failure, whichever of its threads runs out of memory.
void tst_Faults::lineTooLargeForMemory()
{
    if (sanitized)
        QSKIP("A sanitizer's shadow memory needs more address space than any such limit leaves.");
    QFETCH(int, lineMiB);
    QFETCH(bool, fits);
    QFETCH(std::shared_ptr<RowBridge>, run);
    QVERIFY(run->ready());
    BridgeProcess &bridge = run->bridge();
    QLocalSocket *desktop = bridge.accept();
    QVERIFY(desktop);
    QByteArray line(lineMiB * 1024 * 1024, 'x');
    line.append('\n');
    bridge.write(line);
    bridge.closeInput();
    if (fits) {
        const QByteArray received = BridgeProcess::receive(desktop, line.size(), 120000);
        QCOMPARE(received.size(), line.size());
        QVERIFY(received == line);
    }
    QVERIFY(bridge.process.waitForFinished(60000));
    QCOMPARE(bridge.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge.process.exitCode(), fits ? 0 : 1);
    QCOMPARE(bridge.output(), fits ? QByteArray() : QByteArray(std::bad_alloc().what()));
}

void tst_Faults::failureStatus_data()
{
    // Shell commands run before the bridge, such as a limit, and its redirections.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("redirections");
    // Whether a desktop side serves OXL, sends a text and closes the connection; else the
    // bridge's reports are waited for, unless it ends of itself.
    QTest::addColumn<bool>("serve");
    QTest::addColumn<bool>("endsItself");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("reasonOnError");
    QTest::addColumn<std::shared_ptr<RowBridge>>("run");
    const auto row = [](const char *name, const QString &setup, const QString &redirections, bool serve,
                        bool endsItself, int status, bool reasonOnError) {
        const bool skipped = sanitized && setup.contains(QLatin1String("ulimit"));
        QTest::newRow(name) << setup << redirections << serve << endsItself << status << reasonOnError
                            << (skipped ? nullptr : RowBridge::prepare([=](RowBridge &run) {
                                   if (serve && !run.bridge().listen())
                                       return false;
                                   run.bridge().start({QStringLiteral("-c"),
                                                     setup + QStringLiteral(" exec \"$0\" Calyxen ") + redirections,
                                                     QStringLiteral(OXLCONSOLE_PATH)},
                                                    QStringLiteral("/bin/sh"));
                                   return true;
                               }));
    };
    row("input is a folder", "", "</", false, true, 4, false);
    row("input is write-only", "", "0>/dev/null", false, true, 4, false);
    row("output fails", "", ">/dev/full", true, false, 5, false);
    // Descriptors the test's own starter left open would take the few there are.
    row("few descriptors", "exec 3>&- 4>&- && ulimit -n 5 &&", "", false, false, 0, false);
    row("small stack", "ulimit -s 72 &&", "", false, false, 0, false);
    row("small stack, desktop closes", "ulimit -s 72 &&", "", true, false, 0, false);
    // Each thread's stack is reserved at the size of the stack limit.
    row("no thread", "ulimit -s 2000000 && ulimit -v 1000000 &&", "", false, true, 2, true);
}

// Every way the bridge ends under a hostile set-up has its status; only a bridge that cannot
// run at all says why on standard error.
void tst_Faults::failureStatus()
{
    QFETCH(QString, setup);
    QFETCH(bool, serve);
    QFETCH(bool, endsItself);
    QFETCH(int, status);
    QFETCH(bool, reasonOnError);
    QFETCH(std::shared_ptr<RowBridge>, run);
    if (sanitized && setup.contains(QLatin1String("ulimit")))
        QSKIP("A sanitizer's runtime needs more stack, memory and descriptors than such a limit leaves.");
    QVERIFY(run->ready());
    BridgeProcess &bridge = run->bridge();
    if (serve) {
        QLocalSocket *desktop = bridge.accept();
        QVERIFY(desktop);
        desktop->write("text");
        bridge.write("line\n");
        QCOMPARE(BridgeProcess::receive(desktop, 5), QByteArray("line\n"));
        desktop->disconnectFromServer();
    } else if (!endsItself) {
        QTRY_VERIFY_WITH_TIMEOUT(!bridge.output().isEmpty(), 10000);
    }
    bridge.closeInput();
    // A bridge that ended of itself may have been seen to end while earlier rows ran.
    QTRY_COMPARE_WITH_TIMEOUT(bridge.process.state(), QProcess::NotRunning, 20000);
    QCOMPARE(bridge.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge.process.exitCode(), status);
    const QByteArray error = bridge.process.readAllStandardError();
    QCOMPARE(error.count('\n'), reasonOnError ? 1 : 0);
    QCOMPARE(error.isEmpty(), !reasonOnError);
}

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
