#include "link/serverowner.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

using oxlconsole::ServerOwner;

// Which users may serve the link, and the check made on a real connection.
class tst_ServerOwner : public QObject
{
    Q_OBJECT

public:
    enum User { Own, System, Other };
    Q_ENUM(User)

private slots:
    void isAcceptedUser_data();
    void isAcceptedUser();
    void isAccepted();
};

void tst_ServerOwner::isAcceptedUser_data()
{
    QTest::addColumn<User>("user");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("own user") << Own << true;
    QTest::newRow("system") << System << true;
    QTest::newRow("another user") << Other << false;
}

void tst_ServerOwner::isAcceptedUser()
{
    QFETCH(User, user);
    QFETCH(bool, accepted);
#ifdef Q_OS_WIN
    HANDLE token = nullptr;
    QVERIFY(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QVector<quintptr> own(int(size / sizeof(quintptr) + 1));
    const bool queried = GetTokenInformation(token, TokenUser, own.data(), size, &size);
    CloseHandle(token);
    QVERIFY(queried);
    const PSID ownSid = reinterpret_cast<TOKEN_USER *>(own.data())->User.Sid;
    QByteArray sid(SECURITY_MAX_SID_SIZE, '\0');
    QVERIFY(CopySid(DWORD(sid.size()), sid.data(), ownSid));
    if (user == System) {
        DWORD sidSize = DWORD(sid.size());
        QVERIFY(CreateWellKnownSid(WinLocalSystemSid, nullptr, sid.data(), &sidSize));
    } else if (user == Other) {
        // Another account of the same machine or domain: the same SID but for its last part.
        ++*GetSidSubAuthority(sid.data(), *GetSidSubAuthorityCount(sid.data()) - 1u);
    }
    QCOMPARE(ServerOwner::isAcceptedUser(sid.data()), accepted);
#else
    const uid_t own = ::geteuid();
    const uid_t id = user == Own ? own : user == System ? 0 : own + 1;
    QCOMPARE(ServerOwner::isAcceptedUser(id), accepted);
#endif
}

void tst_ServerOwner::isAccepted()
{
    QLocalSocket socket;
    // Nothing can be found out about a socket that is not connected.
    QVERIFY(!ServerOwner::isAccepted(&socket));

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("oxl-serverowner-%1").arg(QCoreApplication::applicationPid());
#else
    const QString name = directory.filePath(QStringLiteral("OXL"));
#endif
    QLocalServer server;
    QVERIFY(server.listen(name));
    socket.connectToServer(name);
    QVERIFY(socket.waitForConnected(5000));
    QVERIFY(ServerOwner::isAccepted(&socket));
}

QTEST_GUILESS_MAIN(tst_ServerOwner)
#include "tst_serverowner.moc"
