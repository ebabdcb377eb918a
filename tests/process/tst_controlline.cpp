#include "bridgeprocess.h"
#include "endprocess.h"
#include "rowbridge.h"
#ifdef Q_OS_WIN
#include "clientpipes.h"
#else
#include "inheriteddescriptor.h"
#endif

#include <QScopeGuard>
#include <QtTest>

#include <csignal>

// The control line, run against copies of the bridge and of the sample desktop application
// placed beside it as OXL.exe.
class tst_ControlLine : public QObject
{
    Q_OBJECT

private slots:
    void startsDesktopApplication_data();
    void startsDesktopApplication();
    void againWhileConnected();
    void blankMakesOrdinaryLine_data();
    void blankMakesOrdinaryLine();
    void missingProgram();
    void ownFileReplaced_data();
    void ownFileReplaced();
    void folderNameNotUtf8();
#ifdef Q_OS_LINUX
    void startedFromMemoryFile();
#endif
    void processStatePassedOn_data();
    void processStatePassedOn();
#ifdef Q_OS_WIN
    void launchedProgramHoldsNoClientPipe_data();
    void launchedProgramHoldsNoClientPipe();
#endif

private:
    struct Launch
    {
        QString program;
        QString workingDirectory;
        int argumentCount;
        QString invokedAs;
    };

    // Copies the bridge into a folder of its own, with OXL.exe beside it if wanted, and
    // hides a decoy OXL.exe on PATH.
    static QString installBridge(BridgeProcess &bridge, bool withDesktop);
    // The bridge's copy in the folder bin.
    static QString bridgeIn(const QString &bin);
    static QList<Launch> launches(const BridgeProcess &bridge);
    static void stopLaunched(const BridgeProcess &bridge);
    static QString launchLog(const BridgeProcess &bridge);

    const QByteArray greeting = "OXL desktop application ready\n";
};

QString tst_ControlLine::launchLog(const BridgeProcess &bridge)
{
    return bridge.directory() + QStringLiteral("/launches.log");
}

QString tst_ControlLine::installBridge(BridgeProcess &bridge, bool withDesktop)
{
    const QDir root(bridge.directory());
    root.mkdir(QStringLiteral("bin"));
    root.mkdir(QStringLiteral("decoy"));
    const QString bin = root.filePath(QStringLiteral("bin"));
    QFile::copy(QStringLiteral(OXLCONSOLE_PATH), bridgeIn(bin));
    if (withDesktop)
        QFile::copy(QStringLiteral(OXLDESKTOP_PATH), bin + QStringLiteral("/OXL.exe"));
#ifdef Q_OS_WIN
    // Windows looks for a bare name on PATH too when there is none beside the bridge.
    const bool withDecoy = withDesktop;
#else
    const bool withDecoy = true;
#endif
    if (withDecoy) {
        QFile::copy(QStringLiteral(OXLDESKTOP_PATH), root.filePath(QStringLiteral("decoy/OXL.exe")));
        bridge.environment.insert(QStringLiteral("PATH"), QDir::toNativeSeparators(root.filePath(QStringLiteral("decoy")))
                                                              + QDir::listSeparator()
                                                              + bridge.environment.value(QStringLiteral("PATH")));
    }
    bridge.environment.insert(QStringLiteral("OXL_DESKTOP_LAUNCH_LOG"), launchLog(bridge));
    return bin;
}

QString tst_ControlLine::bridgeIn(const QString &bin)
{
    return bin + QLatin1Char('/') + QFileInfo(QStringLiteral(OXLCONSOLE_PATH)).fileName();
}

QList<tst_ControlLine::Launch> tst_ControlLine::launches(const BridgeProcess &bridge)
{
    QFile log(launchLog(bridge));
    QList<Launch> result;
    if (!log.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() >= 6)
            result.append({QString::fromUtf8(fields.at(1)), QString::fromUtf8(fields.at(2)), fields.at(3).toInt(),
                           QString::fromUtf8(fields.at(5))});
    }
    return result;
}

void tst_ControlLine::stopLaunched(const BridgeProcess &bridge)
{
    QFile log(launchLog(bridge));
    if (!log.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const qint64 pid = line.split('\t').constFirst().toLongLong();
        if (pid > 0)
            endProcess(pid);
    }
}

void tst_ControlLine::startsDesktopApplication_data()
{
    QTest::addColumn<QByteArray>("line");
    // Diagnostics are written to standard error only when logging rules ask for them.
    QTest::addColumn<QByteArray>("loggingRules");
    QTest::newRow("upper case") << QByteArray("#OPEN_OXL#") << QByteArray();
    QTest::newRow("lower case") << QByteArray("#open_oxl#") << QByteArray();
    QTest::newRow("mixed case") << QByteArray("#Open_Oxl#") << QByteArray();
    QTest::newRow("diagnostics asked for") << QByteArray("#OPEN_OXL#") << QByteArray("oxlconsole.*.debug=true");
}

void tst_ControlLine::startsDesktopApplication()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, loggingRules);
    BridgeProcess bridge;
    const QString bin = installBridge(bridge, true);
    const auto stopLaunchedAtEnd = qScopeGuard([&bridge] { stopLaunched(bridge); });
    bridge.environment.insert(QStringLiteral("QT_LOGGING_RULES"), QString::fromLatin1(loggingRules));
    bridge.start({QStringLiteral("Calyxen")}, bridgeIn(bin));
    bridge.write(line + '\n');

    QTRY_COMPARE(launches(bridge).size(), 1);
    const Launch launch = launches(bridge).constFirst();
    QCOMPARE(launch.program, bin + QStringLiteral("/OXL.exe"));
    QCOMPARE(launch.workingDirectory, bin);
    QCOMPARE(launch.argumentCount, 0);
#ifdef Q_OS_WIN
    // Named bare, and found beside the bridge before the decoy on PATH.
    QCOMPARE(launch.invokedAs, QStringLiteral("OXL.exe"));
#else
    QCOMPARE(launch.invokedAs, launch.program);
#endif

    // The bridge connects on a following tick; the line itself gave the client nothing.
    QTRY_COMPARE_WITH_TIMEOUT(bridge.output(), BridgeProcess::written(greeting), 7000);
    bridge.write("ping\n");
    QTRY_COMPARE(bridge.output(), BridgeProcess::written(greeting + "OXL received: ping\n"));
    QCOMPARE(launches(bridge).size(), 1);

    const QByteArray diagnostics = bridge.process.readAllStandardError();
    if (loggingRules.isEmpty()) {
        QCOMPARE(diagnostics, QByteArray());
    } else {
#ifdef Q_OS_WIN
        const QByteArray started = "started OXL.exe as process id ";
#else
        const QByteArray started = "started " + QFile::encodeName(bin) + "/OXL.exe as process id ";
#endif
        QVERIFY2(diagnostics.contains(started), diagnostics.constData());
        QVERIFY2(diagnostics.contains("connection attempt: connected"), diagnostics.constData());
    }
}

void tst_ControlLine::againWhileConnected()
{
    BridgeProcess bridge;
    const QString bin = installBridge(bridge, true);
    const auto stopLaunchedAtEnd = qScopeGuard([&bridge] { stopLaunched(bridge); });
    bridge.start({QStringLiteral("Calyxen")}, bridgeIn(bin));
    bridge.write("#OPEN_OXL#\n");
    QTRY_COMPARE_WITH_TIMEOUT(bridge.output(), BridgeProcess::written(greeting), 7000);

    bridge.write("#open_OXL#\n");
    QTRY_COMPARE(launches(bridge).size(), 2);
    // The restarted timer finds the link connected: no new connection, which would greet
    // again, and no report.
    QTest::qWait(4500);
    QCOMPARE(bridge.output(), BridgeProcess::written(greeting));
    bridge.write("ping\n");
    QTRY_COMPARE(bridge.output(), BridgeProcess::written(greeting + "OXL received: ping\n"));
}

void tst_ControlLine::blankMakesOrdinaryLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<std::shared_ptr<RowBridge>>("run");
    const auto row = [](const char *name, const QByteArray &line) {
        QTest::newRow(name) << line << RowBridge::prepare([](RowBridge &run) {
            const QString bin = installBridge(run.bridge(), true);
            if (!run.bridge().listen())
                return false;
            run.bridge().start({QStringLiteral("Calyxen")}, bridgeIn(bin));
            return true;
        });
    };
    row("blank before", " #OPEN_OXL#");
    row("blank after", "#OPEN_OXL# ");
    row("tab after", "#open_oxl#\t");
}

void tst_ControlLine::blankMakesOrdinaryLine()
{
    QFETCH(QByteArray, line);
    QFETCH(std::shared_ptr<RowBridge>, run);
    QVERIFY(run->ready());
    BridgeProcess &bridge = run->bridge();
    const auto stopLaunchedAtEnd = qScopeGuard([&bridge] { stopLaunched(bridge); });
    QLocalSocket *desktop = bridge.accept();
    QVERIFY(desktop);
    bridge.write(line + '\n');
    QCOMPARE(BridgeProcess::receive(desktop, line.size() + 1), line + '\n');
    // Nothing is started within a while.
    QTest::qWait(300);
    QVERIFY(launches(bridge).isEmpty());
}

void tst_ControlLine::missingProgram()
{
    BridgeProcess bridge;
    const QString bin = installBridge(bridge, false);
    const auto stopLaunchedAtEnd = qScopeGuard([&bridge] { stopLaunched(bridge); });
    // Windows also looks for a bare name in the working directory the bridge has from its
    // client; this one holds no OXL.exe.
    bridge.process.setWorkingDirectory(bridge.directory());
    bridge.start({QStringLiteral("Calyxen")}, bridgeIn(bin));
    bridge.write("#OPEN_OXL#\n");
    const QByteArray report = "OXL Server could not be found";
    QTRY_VERIFY_WITH_TIMEOUT(bridge.output().count(report) >= 2, 9000);
    QCOMPARE(bridge.process.state(), QProcess::Running);
    QCOMPARE(bridge.output(), report.repeated(bridge.output().count(report)));
    // Neither the decoy on PATH nor anything else was started.
    QVERIFY(launches(bridge).isEmpty());
}

void tst_ControlLine::ownFileReplaced_data()
{
    QTest::addColumn<bool>("replaced");
    QTest::newRow("deleted") << false;
    QTest::newRow("replaced by another version") << true;
}

// An upgrade renames a new bridge over the running one, a rebuild deletes it: the OXL.exe
// started is still the one beside it, never one in the client's folder.
void tst_ControlLine::ownFileReplaced()
{
    QFETCH(bool, replaced);
#ifdef Q_OS_WIN
    QSKIP("Windows neither deletes nor replaces the file of a running program.");
#endif
    if (!QFileInfo::exists(QStringLiteral("/proc/self/task")))
        QSKIP("The threads of a process are seen in /proc/<pid>/task.");
    BridgeProcess bridge;
    const QString bin = installBridge(bridge, true);
    const auto stopLaunchedAtEnd = qScopeGuard([&bridge] { stopLaunched(bridge); });
    QVERIFY(QFile::copy(QStringLiteral(OXLDESKTOP_PATH), bridge.directory() + QStringLiteral("/OXL.exe")));
    bridge.process.setWorkingDirectory(bridge.directory());
    bridge.start({QStringLiteral("Calyxen")}, bridgeIn(bin));
    // Running: its reader's thread has started. The first connection attempt, which comes
    // later, may make Qt look up the file too.
    QTRY_VERIFY(QDir(QStringLiteral("/proc/%1/task").arg(bridge.process.processId())).count() > 3);
    QVERIFY(QFile::remove(bridgeIn(bin)));
    if (replaced) {
        QVERIFY(QFile::copy(QStringLiteral(OXLCONSOLE_PATH), bin + QStringLiteral("/new")));
        QVERIFY(QFile::rename(bin + QStringLiteral("/new"), bridgeIn(bin)));
    }
    bridge.write("#OPEN_OXL#\n");
    QTRY_COMPARE(launches(bridge).size(), 1);
    QCOMPARE(launches(bridge).constFirst().program, bin + QStringLiteral("/OXL.exe"));
    QCOMPARE(launches(bridge).constFirst().workingDirectory, bin);
}

// A folder name is bytes, valid UTF-8 or not (an old archive, a mounted share).
void tst_ControlLine::folderNameNotUtf8()
{
#ifdef Q_OS_WIN
    QSKIP("Windows names files in UTF-16.");
#endif
    BridgeProcess bridge;
    installBridge(bridge, false);
    const auto stopLaunchedAtEnd = qScopeGuard([&bridge] { stopLaunched(bridge); });
    bridge.process.setWorkingDirectory(bridge.directory());
    // The shell makes the folder: a name that Qt cannot decode, it could not name either.
    bridge.start({QStringLiteral("-c"),
                  QStringLiteral("d=$(printf 'bad-\\351') && mkdir \"$d\" && cp \"$0\" \"$d/oxlconsole\" && "
                                 "cp \"$1\" \"$d/OXL.exe\" && exec \"$d/oxlconsole\" Calyxen"),
                  QStringLiteral(OXLCONSOLE_PATH), QStringLiteral(OXLDESKTOP_PATH)},
                 QStringLiteral("/bin/sh"));
    bridge.write("#OPEN_OXL#\n");
    QTRY_COMPARE(launches(bridge).size(), 1);
    QVERIFY(QFileInfo(launches(bridge).constFirst().workingDirectory).fileName().startsWith(QLatin1String("bad-")));
    QTRY_COMPARE_WITH_TIMEOUT(bridge.output(), greeting, 7000);
}

#ifdef Q_OS_LINUX
// Some sandboxes and launchers run a program from a memory file, which lies in no folder: its
// /proc/self/exe reads "/memfd:... (deleted)".
void tst_ControlLine::startedFromMemoryFile()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 runs the bridge from a memory file.");
    BridgeProcess bridge;
    const QString bin = installBridge(bridge, true);
    const auto stopLaunchedAtEnd = qScopeGuard([&bridge] { stopLaunched(bridge); });
    bridge.environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("oxlconsole.*.debug=true"));
    // Named by its file, so that a guess from its arguments would find the OXL.exe beside it.
    bridge.start({QStringLiteral("-c"),
                  QStringLiteral("import os, sys\n"
                                 "fd = os.memfd_create('oxlconsole')\n"
                                 "data = open(sys.argv[1], 'rb').read()\n"
                                 "while data: data = data[os.write(fd, data):]\n"
                                 "os.execve(fd, [sys.argv[1], 'Calyxen'], dict(os.environ))\n"),
                  bridgeIn(bin)},
                 python);
    bridge.write("#OPEN_OXL#\n");
    bridge.closeInput();
    QVERIFY(bridge.process.waitForFinished(10000));
    const QByteArray diagnostics = bridge.process.readAllStandardError();
    QVERIFY2(diagnostics.contains("the bridge's own folder is unknown: OXL.exe is not started"), diagnostics.constData());
    QVERIFY(launches(bridge).isEmpty());
}
#endif

void tst_ControlLine::processStatePassedOn_data()
{
    // The bridge switches Qt's event loop with QT_NO_GLIB for itself only.
    QTest::addColumn<QByteArray>("clientValue");
    QTest::newRow("not set by the client") << QByteArray();
    QTest::newRow("set by the client") << QByteArray("1");
    QTest::newRow("set to another value") << QByteArray("0");
    QTest::newRow("set empty") << QByteArray("");
}

// The started program gets the environment as the bridge got it, SIGPIPE as it is by
// default, and none of the descriptors the client left open for the bridge.
void tst_ControlLine::processStatePassedOn()
{
#ifdef Q_OS_WIN
    QSKIP("A shell script stands in for the desktop application here.");
#else
    QFETCH(QByteArray, clientValue);
    BridgeProcess bridge;
    const QString bin = installBridge(bridge, false);
    const QString dump = bridge.directory() + QStringLiteral("/environment");
    QFile script(bin + QStringLiteral("/OXL.exe"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n"
                 "{ env; grep SigIgn /proc/$$/status; [ -e /proc/$$/fd/99 ] && echo FD99=open; echo END; } > \"$OXL_ENVIRONMENT_DUMP\"\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    bridge.environment.insert(QStringLiteral("OXL_ENVIRONMENT_DUMP"), dump);
    bridge.environment.remove(QStringLiteral("QT_NO_GLIB"));
    if (!clientValue.isNull())
        bridge.environment.insert(QStringLiteral("QT_NO_GLIB"), QString::fromLatin1(clientValue));
    {
        const InheritedDescriptor leaked(99);
        QVERIFY(leaked.isOpen());
        bridge.start({QStringLiteral("Calyxen")}, bridgeIn(bin));
    }
    bridge.write("#OPEN_OXL#\n");

    QByteArrayList lines;
    QTRY_VERIFY([&] {
        QFile file(dump);
        lines = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList();
        return lines.contains("END");
    }());
    QVERIFY(lines.contains("OXL_ENVIRONMENT_DUMP=" + dump.toUtf8()));
    QByteArray inherited;
    qulonglong ignored = ~0ull;
    for (const QByteArray &line : qAsConst(lines)) {
        if (line.startsWith("QT_NO_GLIB="))
            inherited = line.mid(11);
        if (line.startsWith("SigIgn:"))
            ignored = line.mid(7).trimmed().toULongLong(nullptr, 16);
    }
    QCOMPARE(inherited, clientValue);
    QCOMPARE(inherited.isNull(), clientValue.isNull());
    QVERIFY2(!(ignored & (1ull << (SIGPIPE - 1))), qPrintable(QString::number(ignored, 16)));
    QVERIFY(!lines.contains("FD99=open"));
#endif
}

#ifdef Q_OS_WIN
void tst_ControlLine::launchedProgramHoldsNoClientPipe_data()
{
    QTest::addColumn<bool>("killBridge");
    QTest::newRow("end of input") << false;
    QTest::newRow("bridge killed") << true;
}

// Qt lets a started program inherit every inheritable handle of the bridge, and the client's
// pipes behind its standard streams are inheritable. OXL.exe, which runs on, must not keep
// them open once the bridge has gone.
void tst_ControlLine::launchedProgramHoldsNoClientPipe()
{
    QFETCH(bool, killBridge);
    BridgeProcess bridge;
    const QString bin = installBridge(bridge, true);
    const auto stopLaunchedAtEnd = qScopeGuard([&bridge] { stopLaunched(bridge); });
    ClientPipes client;
    client.attach(bridge.process);
    bridge.start({QStringLiteral("Calyxen")}, bridgeIn(bin));
    QCOMPARE(bridge.process.state(), QProcess::Running);
    client.releaseBridgeEnds();
    QVERIFY(client.write("#OPEN_OXL#\n"));
    QTRY_COMPARE_WITH_TIMEOUT(client.output(), BridgeProcess::written(greeting), 7000);
    QCOMPARE(launches(bridge).size(), 1);

    if (killBridge)
        bridge.process.kill();
    else
        client.closeInput();
    QVERIFY(bridge.process.waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(client.outputClosed(), 3000);
    if (killBridge)
        QVERIFY(!client.write("after\n"));
}
#endif

QTEST_GUILESS_MAIN(tst_ControlLine)
#include "tst_controlline.moc"
