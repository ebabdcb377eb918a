#include "bridge/readaheadlimit.h"

#include <QtTest>

#include <atomic>
#include <memory>

using oxlconsole::ReadAheadLimit;

// The bound between the reader and the main thread, with the reader's waits run on a thread
// of their own.
class tst_ReadAheadLimit : public QObject
{
    Q_OBJECT

private slots:
    void acquire_data();
    void acquire();
    void interruptEndsWait();
    void interruptRefusesLaterLines();

private:
    static qint64 cost(int length) { return 2 * length + 128; }
    // The limit shows no sign of a waiting reader. One that is let through returns within
    // microseconds of its call, so a short wait after the call is long enough to see it.
    static void giveTimeToReturn() { QThread::msleep(20); }
};

void tst_ReadAheadLimit::acquire_data()
{
    // Lines are given by their length; the held lines are released in order, one after the
    // other, until the next line is let through.
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<QList<int>>("held");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("releasesNeeded");
    QTest::newRow("fits") << cost(100) * 3 << QList<int>{100} << 100 << 0;
    QTest::newRow("fills exactly") << cost(100) * 2 << QList<int>{100} << 100 << 0;
    QTest::newRow("empty line fills") << cost(0) * 2 << QList<int>{0} << 0 << 0;
    QTest::newRow("over by one") << cost(100) * 2 - 1 << QList<int>{100} << 100 << 1;
    // Room for the next line alone is not enough: half the capacity must be free again.
    QTest::newRow("waits for half") << qint64(1000) << QList<int>{50, 50, 50, 50} << 50 << 2;
    QTest::newRow("longer than capacity") << qint64(500) << QList<int>{10} << 1000 << 1;
    QTest::newRow("longer than capacity, nothing held") << qint64(500) << QList<int>() << 1000 << 0;
}

void tst_ReadAheadLimit::acquire()
{
    QFETCH(qint64, capacity);
    QFETCH(QList<int>, held);
    QFETCH(int, next);
    QFETCH(int, releasesNeeded);
    ReadAheadLimit limit(capacity);
    QCOMPARE(limit.capacity(), capacity);
    qint64 heldCost = 0;
    for (int length : held) {
        QVERIFY(limit.acquire(QString(length, QLatin1Char('x'))));
        heldCost += cost(length);
    }
    QCOMPARE(limit.used(), heldCost);

    QSemaphore called;
    std::atomic<bool> done{false};
    std::atomic<bool> result{false};
    std::unique_ptr<QThread> reader(QThread::create([&] {
        called.release();
        result = limit.acquire(QString(next, QLatin1Char('y')));
        done = true;
    }));
    reader->start();
    QVERIFY(called.tryAcquire(1, 5000));
    for (int i = 0; i < releasesNeeded; ++i) {
        giveTimeToReturn();
        QVERIFY2(!done, qPrintable(QStringLiteral("let through after %1 releases").arg(i)));
        limit.release(QString(held.at(i), QLatin1Char('x')));
        heldCost -= cost(held.at(i));
    }
    QVERIFY(reader->wait(5000));
    QVERIFY(done);
    QVERIFY(result);
    QCOMPARE(limit.used(), heldCost + qMin(capacity, cost(next)));
    QVERIFY(limit.used() <= capacity);
}

void tst_ReadAheadLimit::interruptEndsWait()
{
    ReadAheadLimit limit(cost(10));
    QVERIFY(limit.acquire(QStringLiteral("0123456789")));
    QSemaphore called;
    std::atomic<bool> done{false};
    std::atomic<bool> result{true};
    std::unique_ptr<QThread> reader(QThread::create([&] {
        called.release();
        result = limit.acquire(QStringLiteral("waits"));
        done = true;
    }));
    reader->start();
    QVERIFY(called.tryAcquire(1, 5000));
    giveTimeToReturn();
    QVERIFY(!done);
    limit.interrupt();
    QVERIFY(reader->wait(5000));
    QVERIFY(done);
    QVERIFY(!result);
}

void tst_ReadAheadLimit::interruptRefusesLaterLines()
{
    ReadAheadLimit limit;
    limit.interrupt();
    QVERIFY(!limit.acquire(QStringLiteral("fits, but comes too late")));
}

QTEST_GUILESS_MAIN(tst_ReadAheadLimit)
#include "tst_readaheadlimit.moc"
