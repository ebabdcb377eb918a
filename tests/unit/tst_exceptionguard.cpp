#include "app/exceptionguard.h"
#include "streamcapture.h"

#include <QtTest>

#include <stdexcept>

Q_DECLARE_METATYPE(std::function<int()>)

class tst_ExceptionGuard : public QObject
{
    Q_OBJECT

private slots:
    void escapingException_data();
    void escapingException();
    void resultPassedThrough();
};

void tst_ExceptionGuard::escapingException_data()
{
    QTest::addColumn<std::function<int()>>("body");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("described") << std::function<int()>([]() -> int { throw std::runtime_error("disk gone"); })
                               << QByteArray("disk gone");
    QTest::newRow("plain") << std::function<int()>([]() -> int { throw std::exception(); })
                           << QByteArray("Unknown exception");
    QTest::newRow("empty description") << std::function<int()>([]() -> int { throw std::logic_error(""); })
                                       << QByteArray();
    QTest::newRow("allocation") << std::function<int()>([]() -> int { throw std::bad_alloc(); })
                                << QByteArray(std::bad_alloc().what());
}

void tst_ExceptionGuard::escapingException()
{
    QFETCH(std::function<int()>, body);
    QFETCH(QByteArray, written);
    int result = -1;
    QCOMPARE(capturedStream(1, [&] { result = oxlconsole::runGuarded(body); }), written);
    QCOMPARE(result, 1);
}

void tst_ExceptionGuard::resultPassedThrough()
{
    int result = -1;
    QCOMPARE(capturedStream(1, [&] { result = oxlconsole::runGuarded([] { return 7; }); }), QByteArray());
    QCOMPARE(result, 7);
}

QTEST_GUILESS_MAIN(tst_ExceptionGuard)
#include "tst_exceptionguard.moc"
