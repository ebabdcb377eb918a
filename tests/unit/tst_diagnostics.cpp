#include "app/diagnostics.h"
#include "link/linklogging.h"

#include "streamcapture.h"

#include <QtTest>

// A client may never read the bridge's standard error: nothing reaches it unless asked for.
class tst_Diagnostics : public QObject
{
    Q_OBJECT

private slots:
    void standardError_data();
    void standardError();
};

void tst_Diagnostics::standardError_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("not asked for") << QString() << QByteArray();
    QTest::newRow("asked for") << QStringLiteral("oxlconsole.*.debug=true")
                               << QByteArray("Qt's warning\noxlconsole.link: attempt\n");
}

void tst_Diagnostics::standardError()
{
    QFETCH(QString, rules);
    QFETCH(QByteArray, written);
    QLoggingCategory::setFilterRules(rules);
    qSetMessagePattern(QStringLiteral("%{if-category}%{category}: %{endif}%{message}"));
    const QByteArray captured = capturedStream(2, [] {
        // The filter hands what it lets through to the handler before it: Qt's own, as in the bridge.
        const QtMessageHandler testHandler = qInstallMessageHandler(nullptr);
        oxlconsole::installMessageFilter();
        qWarning("Qt's warning");
        qCDebug(oxlconsole::lcLink, "attempt");
        qInstallMessageHandler(testHandler);
    });
    QCOMPARE(captured, written);
}

QTEST_GUILESS_MAIN(tst_Diagnostics)
#include "tst_diagnostics.moc"
