#include "bridge/calyxenworker.h"
#include "bridge/readaheadlimit.h"
#include "bridge/standardinput.h"
#include "numberedlines.h"
#include "postedevents.h"
#include "stdinpipe.h"

#include <QtTest>

// The reader on a thread of its own, reading a pipe that stands in for standard input.
class tst_CalyxenWorker : public QObject
{
    Q_OBJECT

private slots:
    void messages_data();
    void messages();
    void interruptWakesBlockedRead();
    void waitsForLinesToBeHandled();
    void interruptWakesWaitForLimit();

signals:
    // Emitted for each line the receiver is given, so that a test can wait for the next one.
    void lineReceived();
};

namespace {

// Runs a reader on thread, as the bridge does; onMessage gets each line on receiver's thread.
template <typename Handler>
void startReader(QThread *thread, oxlconsole::ReadAheadLimit *limit, QObject *receiver, Handler onMessage)
{
    // Kept for the reader as Console keeps it; a failure is seen through the whole bridge
    // (tst_faults::lineTooLargeForMemory).
    static oxlconsole::ReaderOutcome outcome;
    auto *worker = new oxlconsole::CalyxenWorker(limit, &outcome);
    QObject::connect(worker, &oxlconsole::CalyxenWorker::messageReceived, receiver, onMessage);
    QObject::connect(thread, &QThread::started, worker, &oxlconsole::CalyxenWorker::doWork);
    QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    worker->moveToThread(thread);
    thread->start();
}

} // namespace

void tst_CalyxenWorker::messages_data()
{
    // Every write but the last ends a line, whose arrival shows the write read on its own.
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("lines in order") << QByteArrayList{"one\ntwo\n\nthree\n"}
                                    << QStringList{"one", "two", "", "three"};
    QTest::newRow("unended last line") << QByteArrayList{"a\nla", "st"} << QStringList{"a", "last"};
    QTest::newRow("line across writes") << QByteArrayList{"a\nsp", "lit\n"} << QStringList{"a", "split"};
    QTest::newRow("utf-8") << QByteArrayList{"\xC3\xA9t\xC3\xA9\n"} << QStringList{QString::fromUtf8("\xC3\xA9t\xC3\xA9")};
    QTest::newRow("invalid utf-8") << QByteArrayList{"a\xFF\n"} << QStringList{QStringLiteral("a\uFFFD")};
    QTest::newRow("zero byte") << QByteArrayList{QByteArray("a\0b\n", 4)} << QStringList{QString("a") + QChar(0) + "b"};
    QTest::newRow("no input") << QByteArrayList() << QStringList();
    // Only the input's first character may be a byte order mark.
    QTest::newRow("byte order marks") << QByteArrayList{"\xEF\xBB\xBF" "a\n\xEF\xBB\xBF\n\xEF\xBB\xBF" "b\n"}
                                      << QStringList{"a", QStringLiteral("\uFEFF"), QStringLiteral("\uFEFFb")};
    QTest::newRow("byte order mark after an empty line") << QByteArrayList{"\n\xEF\xBB\xBF\n"}
                                                         << QStringList{"", QStringLiteral("\uFEFF")};
}

void tst_CalyxenWorker::messages()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QStringList, expected);
    StdinPipe input;
    QVERIFY(input.isValid());
    QThread thread;
    oxlconsole::ReadAheadLimit limit;
    QStringList messages;
    QObject receiver;
    startReader(&thread, &limit, &receiver, [&messages, &limit](const QString &msg) {
        messages.append(msg);
        limit.release(msg);
    });
    QByteArray written;
    for (const QByteArray &bytes : writes) {
        if (!written.isEmpty())
            QTRY_COMPARE(messages.size(), written.count('\n'));
        input.write(bytes);
        written += bytes;
    }
    input.close();
    // At the end of input the reader stops and its thread ends of itself, with no message
    // standing for the end.
    QVERIFY(thread.wait(5000));
    QVERIFY(handlePostedEvents());
    QCOMPARE(messages, expected);
    QCOMPARE(limit.used(), qint64(0));
}

void tst_CalyxenWorker::interruptWakesBlockedRead()
{
    StdinPipe input;
    QVERIFY(input.isValid());
    QThread thread;
    oxlconsole::ReadAheadLimit limit;
    QStringList messages;
    QObject receiver;
    startReader(&thread, &limit, &receiver, [&messages](const QString &msg) { messages.append(msg); });
    // Once it has passed a line on, the reader goes back to its read, which does not end of
    // itself. Nothing shows it inside; it gets there within microseconds, well within this wait.
    input.write("a\n");
    QTRY_COMPARE(messages, QStringList{"a"});
    QThread::msleep(20);
    QVERIFY(thread.isRunning());
    oxlconsole::StandardInput::interrupt(&thread);
    QVERIFY(thread.wait(5000));
}

// Lines that the receiver has not handled yet hold the reader back; once they are handled
// it goes on, and every line arrives once, in order.
void tst_CalyxenWorker::waitsForLinesToBeHandled()
{
    StdinPipe input;
    QVERIFY(input.isValid());
    // Room for about four lines of ten characters at a time.
    oxlconsole::ReadAheadLimit limit(4 * (20 + 128));
    QThread thread;
    QStringList pending;
    QStringList handled;
    QObject receiver;
    startReader(&thread, &limit, &receiver, [this, &pending](const QString &msg) {
        pending.append(msg);
        emit lineReceived();
    });
    QSignalSpy received(this, &tst_CalyxenWorker::lineReceived);

    const QByteArray bytes = numberedLines("", 100, 11);
    QStringList expected = QString::fromLatin1(bytes).split(QLatin1Char('\n'));
    expected.removeLast();
    input.write(bytes);
    input.close();
    QTRY_COMPARE(pending.size(), 4);
    // The four lines fill the limit, so the fifth waits in it (tst_ReadAheadLimit) until
    // lines are released.
    QCOMPARE(limit.used(), limit.capacity());
    QVERIFY(handlePostedEvents());
    QCOMPARE(pending.size(), 4);

    while (handled.size() < expected.size()) {
        if (pending.isEmpty())
            QVERIFY(received.wait(5000));
        const QString msg = pending.takeFirst();
        handled.append(msg);
        limit.release(msg);
        QVERIFY(pending.size() <= 4);
    }
    QCOMPARE(handled, expected);
    QVERIFY(thread.wait(5000));
    QCOMPARE(limit.used(), qint64(0));
}

// Teardown must also end a reader that waits for the main thread to handle its lines.
void tst_CalyxenWorker::interruptWakesWaitForLimit()
{
    StdinPipe input;
    QVERIFY(input.isValid());
    oxlconsole::ReadAheadLimit limit(2 * (2 + 128));
    QThread thread;
    QStringList messages;
    QObject receiver;
    startReader(&thread, &limit, &receiver, [&messages](const QString &msg) { messages.append(msg); });
    input.write("a\nb\nc\nd\n");
    QTRY_COMPARE(messages, QStringList({"a", "b"}));
    QVERIFY(thread.isRunning());
    oxlconsole::StandardInput::interrupt(&thread);
    limit.interrupt();
    QVERIFY(thread.wait(5000));
    QVERIFY(handlePostedEvents());
    QCOMPARE(messages, QStringList({"a", "b"}));
}

QTEST_GUILESS_MAIN(tst_CalyxenWorker)
#include "tst_calyxenworker.moc"
