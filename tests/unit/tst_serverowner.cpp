#include "link/serverowner.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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
    void isAccepted_data();
    void isAccepted();
    void notConnected();
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

void tst_ServerOwner::isAccepted_data()
{
    QTest::addColumn<User>("user");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("own user") << Own << true;
    QTest::newRow("another user") << Other << false;
}

#ifndef Q_OS_WIN
namespace {

// A server of a socket path, run by a child process as another user for the object's lifetime.
class ChildServer
{
public:
    ~ChildServer();
    bool serve(const passwd &user, const QByteArray &path);

private:
    pid_t m_child = -1;
    // Its close tells the child to end.
    int m_readEnd = -1;
};

ChildServer::~ChildServer()
{
    if (m_readEnd >= 0)
        ::close(m_readEnd);
    if (m_child > 0)
        ::waitpid(m_child, nullptr, 0);
}

// The kernel records the server's user when it starts listening, so the child becomes user
// before it creates its socket.
bool ChildServer::serve(const passwd &user, const QByteArray &path)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return false;
    m_child = ::fork();
    if (m_child == 0) {
        ::close(ready[0]);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool serving = ::setgroups(0, nullptr) == 0 && ::setgid(user.pw_gid) == 0
            && ::setuid(user.pw_uid) == 0
            && ::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::listen(server, 1) == 0;
        const char status = serving ? 1 : 0;
        if (::write(ready[1], &status, 1) == 1 && serving) {
            pollfd end = {ready[1], 0, 0};
            ::poll(&end, 1, 30000);
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    m_readEnd = ready[0];
    char status = 0;
    return m_child > 0 && ::read(m_readEnd, &status, 1) == 1 && status == 1;
}

} // namespace
#endif

void tst_ServerOwner::isAccepted()
{
    QFETCH(User, user);
    QFETCH(bool, accepted);
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    QLocalServer server;
#ifdef Q_OS_WIN
    if (user == Other)
        QSKIP("Serving the pipe as another account takes that account's password");
    const QString name = QStringLiteral("oxl-serverowner-%1").arg(QCoreApplication::applicationPid());
    QVERIFY(server.listen(name));
#else
    QString name = directory.filePath(QStringLiteral("OXL"));
    ChildServer other;
    if (user == Own) {
        QVERIFY(server.listen(name));
    } else {
        const passwd *nobody = ::getpwnam("nobody");
        if (::geteuid() != 0 || !nobody || nobody->pw_uid == 0)
            QSKIP("Serving as another user takes root and the user nobody");
        // That user may create its socket only in a folder of its own.
        const QByteArray folder = QFile::encodeName(directory.filePath(QStringLiteral("other")));
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        QCOMPARE(::chown(folder.constData(), nobody->pw_uid, nobody->pw_gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(directory.path()).constData(), 0711), 0);
        name = QFile::decodeName(folder + "/OXL");
        QVERIFY(other.serve(*nobody, QFile::encodeName(name)));
    }
#endif
    QLocalSocket socket;
    socket.connectToServer(name);
    QVERIFY(socket.waitForConnected(5000));
    QCOMPARE(ServerOwner::isAccepted(&socket), accepted);
}

// Nothing can be found out about a socket that is not connected.
void tst_ServerOwner::notConnected()
{
    QLocalSocket socket;
    QVERIFY(!ServerOwner::isAccepted(&socket));
}

QTEST_GUILESS_MAIN(tst_ServerOwner)
#include "tst_serverowner.moc"
