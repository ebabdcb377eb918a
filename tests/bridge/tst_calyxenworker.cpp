#include "bridge/calyxenworker.h"
#include "bridge/standardinput.h"
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
};

void tst_CalyxenWorker::messages_data()
{
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("lines in order") << QByteArrayList{"one\ntwo\n\nthree\n"}
                                    << QStringList{"one", "two", "", "three"};
    QTest::newRow("unended last line") << QByteArrayList{"a\nla", "st"} << QStringList{"a", "last"};
    QTest::newRow("line across writes") << QByteArrayList{"sp", "li", "t\n"} << QStringList{"split"};
    QTest::newRow("utf-8") << QByteArrayList{"\xC3\xA9t\xC3\xA9\n"} << QStringList{QString::fromUtf8("\xC3\xA9t\xC3\xA9")};
    QTest::newRow("invalid utf-8") << QByteArrayList{"a\xFF\n"} << QStringList{QStringLiteral("a\uFFFD")};
    QTest::newRow("zero byte") << QByteArrayList{QByteArray("a\0b\n", 4)} << QStringList{QString("a") + QChar(0) + "b"};
    QTest::newRow("no input") << QByteArrayList() << QStringList();
}

void tst_CalyxenWorker::messages()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QStringList, expected);
    StdinPipe input;
    QVERIFY(input.isValid());
    QThread thread;
    auto *worker = new oxlconsole::CalyxenWorker;
    QStringList messages;
    QObject receiver;
    connect(worker, &oxlconsole::CalyxenWorker::messageReceived, &receiver,
            [&messages](const QString &msg) { messages.append(msg); });
    connect(&thread, &QThread::started, worker, &oxlconsole::CalyxenWorker::doWork);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    worker->moveToThread(&thread);
    thread.start();
    for (const QByteArray &bytes : writes) {
        input.write(bytes);
        QTest::qWait(20);
    }
    input.close();
    // At the end of input the reader stops and its thread ends of itself, with no message
    // standing for the end.
    QVERIFY(thread.wait(5000));
    QTRY_COMPARE(messages, expected);
    QTest::qWait(50);
    QCOMPARE(messages, expected);
}

void tst_CalyxenWorker::interruptWakesBlockedRead()
{
    StdinPipe input;
    QVERIFY(input.isValid());
    QThread thread;
    auto *worker = new oxlconsole::CalyxenWorker;
    connect(&thread, &QThread::started, worker, &oxlconsole::CalyxenWorker::doWork);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    worker->moveToThread(&thread);
    thread.start();
    QTest::qWait(200);
    QVERIFY(thread.isRunning());
    oxlconsole::StandardInput::interrupt(&thread);
    QVERIFY(thread.wait(5000));
}

QTEST_GUILESS_MAIN(tst_CalyxenWorker)
#include "tst_calyxenworker.moc"
