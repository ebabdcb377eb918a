#include "link/ipcobject.h"
#include "desktop.h"
#include "postedevents.h"
#include "streamcapture.h"

#include <QLocalServer>
#include <QScopeGuard>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(QLocalSocket::LocalSocketError)

using oxlconsole::IPCObject;

// The link against a real local server that serves the name OXL in a private directory.
class tst_IPCObject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    // connecting
    void connectAndDisconnect();
#ifndef Q_OS_WIN
    void temporaryDirectoryNotUtf8();
#endif

    // sending
    void sendMessage_data();
    void sendMessage();
    void sendWhileUnconnectedIsDropped();

    // receiving
    void receive_data();
    void receive();
    void newConnectionStartsAfresh();
    void unfinishedCharacterAtClose_data();
    void unfinishedCharacterAtClose();
    void receiveWhileSending();

    // error reports
    void errorReports_data();
    void errorReports();
    void errorSignalReported();

private:
    QLocalSocket *connectLink(IPCObject &link);

    QTemporaryDir m_directory;
    QLocalServer m_server;
};

void tst_IPCObject::initTestCase()
{
    QVERIFY(m_directory.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_directory.path()));
    qRegisterMetaType<QLocalSocket::LocalSocketError>();
}

void tst_IPCObject::cleanup()
{
    m_server.close();
}

QLocalSocket *tst_IPCObject::connectLink(IPCObject &link)
{
    if (!m_server.isListening() && !m_server.listen(QStringLiteral("OXL")))
        return nullptr;
    link.connectToServer();
    if (!m_server.waitForNewConnection(5000))
        return nullptr;
    return m_server.nextPendingConnection();
}

void tst_IPCObject::connectAndDisconnect()
{
    IPCObject link;
    QSignalSpy disconnectedSpy(&link, SIGNAL(gotDisconnected()));
    QVERIFY(!link.isConnected());
    QLocalSocket *desktop = connectLink(link);
    QVERIFY(desktop);
    QVERIFY(link.isConnected());
    desktop->disconnectFromServer();
    QTRY_COMPARE(disconnectedSpy.count(), 1);
    QVERIFY(!link.isConnected());
    QVERIFY(handlePostedEvents());
    QCOMPARE(disconnectedSpy.count(), 1);
}

#ifndef Q_OS_WIN
// The temporary directory's name is bytes, which need not be valid in the locale's encoding.
void tst_IPCObject::temporaryDirectoryNotUtf8()
{
    const QByteArray directory = QFile::encodeName(m_directory.path()) + "/bad-\xE9";
    const QByteArray path = directory + "/OXL";
    QCOMPARE(::mkdir(directory.constData(), 0700), 0);
    const QByteArray previous = qgetenv("TMPDIR");
    qputenv("TMPDIR", directory);
    // Qt cannot serve this socket either (under Qt 6 a server whose name it cannot decode does
    // not count as listening), so it is served here; QTemporaryDir would remove the folder by
    // its decoded name, which names another.
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const auto restore = qScopeGuard([&] {
        qputenv("TMPDIR", previous);
        ::close(server);
        ::unlink(path.constData());
        ::rmdir(directory.constData());
    });
    QCOMPARE(capturedStream(1, [] {
                 IPCObject link;
                 link.connectToServer();
             }),
             QByteArray("OXL Server could not be found"));

    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
    QCOMPARE(::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QCOMPARE(::listen(server, 1), 0);
    IPCObject link;
    QStringList received;
    connect(&link, &IPCObject::gotMessage, this, [&received](const QString &msg) { received.append(msg); });
    link.connectToServer();
    QVERIFY(link.isConnected());
    QLocalSocket desktop;
    QVERIFY(desktop.setSocketDescriptor(::accept(server, nullptr, nullptr)));
    desktop.write("hello");
    QTRY_COMPARE(received, QStringList{"hello"});
}
#endif

void tst_IPCObject::sendMessage_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QStringLiteral("abc") << QByteArray("abc\n");
    QTest::newRow("empty") << QString() << QByteArray("\n");
    QTest::newRow("zero character") << (QStringLiteral("a") + QChar(0) + QStringLiteral("b")) << QByteArray("a\0b\n", 4);
    QTest::newRow("non-ascii") << QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")
                               << QByteArray("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n");
    QTest::newRow("line feed inside") << QStringLiteral("a\nb") << QByteArray("a\nb\n");
}

void tst_IPCObject::sendMessage()
{
    QFETCH(QString, message);
    QFETCH(QByteArray, bytes);
    IPCObject link;
    QLocalSocket *desktop = connectLink(link);
    QVERIFY(desktop);
    link.sendMessage(message);
    QTRY_COMPARE(desktop->bytesAvailable(), qint64(bytes.size()));
    QCOMPARE(desktop->readAll(), bytes);
}

void tst_IPCObject::sendWhileUnconnectedIsDropped()
{
    IPCObject link;
    link.sendMessage(QStringLiteral("lost"));
    QLocalSocket *desktop = connectLink(link);
    QVERIFY(desktop);
    link.sendMessage(QStringLiteral("kept"));
    QTRY_COMPARE(desktop->bytesAvailable(), qint64(5));
    QCOMPARE(desktop->readAll(), QByteArray("kept\n"));
}

void tst_IPCObject::receive_data()
{
    // Each group of writes reaches the link as one read and gives one text; how the bytes of a
    // read are decoded, tst_Utf8Decoder checks.
    QTest::addColumn<QList<QByteArrayList>>("reads");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("one read") << QList<QByteArrayList>{{"hello"}} << QStringList{"hello"};
    QTest::newRow("two writes, one read") << QList<QByteArrayList>{{"a", "b"}} << QStringList{"ab"};
    QTest::newRow("character split") << QList<QByteArrayList>{{"ab\xE2\x82"}, {"\xAC" "c"}}
                                     << QStringList{"ab", QStringLiteral("\u20AC" "c")};
}

void tst_IPCObject::receive()
{
    QFETCH(QList<QByteArrayList>, reads);
    QFETCH(QStringList, messages);
    IPCObject link;
    QStringList received;
    connect(&link, &IPCObject::gotMessage, this, [&received](const QString &msg) { received.append(msg); });
    QLocalSocket *desktop = connectLink(link);
    QVERIFY(desktop);
    for (int i = 0; i < reads.size(); ++i) {
#ifdef Q_OS_WIN
        // On Windows each write goes into the pipe on its own and reaches the link as a
        // read of its own.
        desktop->write(reads.at(i).join());
#else
        for (const QByteArray &bytes : reads.at(i))
            desktop->write(bytes);
#endif
        QVERIFY(desktop->waitForBytesWritten(5000));
        // The read's text shows that the link has taken it before the next write.
        QTRY_COMPARE(received, messages.mid(0, i + 1));
    }
}

// Each connection's bytes start afresh: their first character may be a byte order mark again.
void tst_IPCObject::newConnectionStartsAfresh()
{
    IPCObject link;
    QStringList received;
    connect(&link, &IPCObject::gotMessage, this, [&received](const QString &msg) { received.append(msg); });
    QLocalSocket *first = connectLink(link);
    QVERIFY(first);
    first->write("a");
    QVERIFY(first->waitForBytesWritten(5000));
    QTRY_COMPARE(received, QStringList{"a"});
    first->disconnectFromServer();
    QTRY_VERIFY(!link.isConnected());

    QLocalSocket *second = connectLink(link);
    QVERIFY(second);
    second->write("\xEF\xBB\xBF" "b");
    QVERIFY(second->waitForBytesWritten(5000));
    QTRY_COMPARE(received, QStringList({"a", "b"}));
}

// Qt can signal readiness from inside a blocked send; nothing may deadlock or get lost.
void tst_IPCObject::receiveWhileSending()
{
    Desktop desktop(m_directory.path());
    QVERIFY(desktop.start({"--echo", "--greeting", ""}));
    IPCObject link;
    QString received;
    connect(&link, &IPCObject::gotMessage, this, [&received](const QString &msg) { received += msg; });
    QTRY_VERIFY_WITH_TIMEOUT((link.connectToServer(), link.isConnected()), 5000);

    QString payload;
    for (int i = 0; payload.size() < 8 * 1024 * 1024; ++i)
        payload += QString::number(i) + QLatin1Char(' ');
    link.sendMessage(payload);
    link.sendMessage(QStringLiteral("end"));
    const QString expected = payload + QStringLiteral("\nend\n");
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), expected.size(), 20000);
    QVERIFY(received == expected);
}

void tst_IPCObject::unfinishedCharacterAtClose_data()
{
    // What arrives before the close is awaited before it; a read of only a fragment gives
    // nothing to wait for, and may be taken before the close or with it.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("beforeClose");
    QTest::addColumn<QStringList>("atClose");
    QTest::newRow("nothing unfinished") << QByteArray("abc") << QStringList{"abc"} << QStringList{"closed"};
    QTest::newRow("character cut by the close")
        << QByteArray("ab\xE2\x82") << QStringList{"ab"} << QStringList{QStringLiteral("\uFFFD\uFFFD"), "closed"};
    QTest::newRow("only a fragment") << QByteArray("\xF0\x9F\x98") << QStringList()
                                     << QStringList{QStringLiteral("\uFFFD\uFFFD\uFFFD"), "closed"};
}

// A character that the desktop application leaves unfinished when it closes the connection
// is written as the conversion replaces it, not dropped.
void tst_IPCObject::unfinishedCharacterAtClose()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, beforeClose);
    QFETCH(QStringList, atClose);
    IPCObject link;
    QStringList received;
    connect(&link, &IPCObject::gotMessage, this, [&received](const QString &msg) { received.append(msg); });
    connect(&link, &IPCObject::gotDisconnected, this, [&received] { received.append(QStringLiteral("closed")); });
    QLocalSocket *desktop = connectLink(link);
    QVERIFY(desktop);
    desktop->write(bytes);
    QVERIFY(desktop->waitForBytesWritten(5000));
    QTRY_COMPARE(received, beforeClose);
    desktop->disconnectFromServer();
    QTRY_COMPARE(received, beforeClose + atClose);
    QVERIFY(handlePostedEvents());
    QCOMPARE(received, beforeClose + atClose);
}

void tst_IPCObject::errorReports_data()
{
    QTest::addColumn<QLocalSocket::LocalSocketError>("error");
    QTest::addColumn<QByteArray>("written");
    const QByteArray generic = "The following error occurred: " + QLocalSocket().errorString().toUtf8() + '.';
    QTest::newRow("refused") << QLocalSocket::ConnectionRefusedError << QByteArray("OXL Server refused connection");
    QTest::newRow("peer closed") << QLocalSocket::PeerClosedError << QByteArray();
    QTest::newRow("not found") << QLocalSocket::ServerNotFoundError << QByteArray("OXL Server could not be found");
    QTest::newRow("timeout") << QLocalSocket::SocketTimeoutError << generic;
    QTest::newRow("unknown") << QLocalSocket::UnknownSocketError << generic;
}

void tst_IPCObject::errorReports()
{
    QFETCH(QLocalSocket::LocalSocketError, error);
    QFETCH(QByteArray, written);
    QCOMPARE(capturedStream(1, [error] {
                 IPCObject link;
                 link.displayError(error);
             }),
             written);
}

// The socket's error signal, whose name differs between Qt 5 and Qt 6, reaches the report,
// once for each failed attempt.
void tst_IPCObject::errorSignalReported()
{
    // A desktop application killed by an earlier test may have left its socket file behind.
    QLocalServer::removeServer(QStringLiteral("OXL"));
    QCOMPARE(capturedStream(1, [] {
                 IPCObject link;
                 link.connectToServer();
                 link.connectToServer();
             }),
             QByteArray("OXL Server could not be foundOXL Server could not be found"));
}

QTEST_GUILESS_MAIN(tst_IPCObject)
#include "tst_ipcobject.moc"
