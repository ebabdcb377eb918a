#include "app/exceptionguard.h"

#include <QtTest>

#include <iostream>
#include <sstream>
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
    std::ostringstream captured;
    std::streambuf *previous = std::cout.rdbuf(captured.rdbuf());
    const int result = oxlconsole::runGuarded(body);
    std::cout.rdbuf(previous);
    QCOMPARE(result, 0);
    QCOMPARE(QByteArray::fromStdString(captured.str()), written);
}

void tst_ExceptionGuard::resultPassedThrough()
{
    std::ostringstream captured;
    std::streambuf *previous = std::cout.rdbuf(captured.rdbuf());
    const int result = oxlconsole::runGuarded([] { return 7; });
    std::cout.rdbuf(previous);
    QCOMPARE(result, 7);
    QVERIFY(captured.str().empty());
}

QTEST_GUILESS_MAIN(tst_ExceptionGuard)
#include "tst_exceptionguard.moc"
