#include "checkedconnect.h"
#include "console.h"
#include "diagnostics.h"
#include "exceptionguard.h"
#include "processsetup.h"

#include <QCoreApplication>

#include <string>

int main(int argc, char *argv[])
{
    oxlconsole::ProcessSetup::apply();
    oxlconsole::installMessageFilter();
    return oxlconsole::runGuarded([&] {
        // Qt's GLib event loop makes a system call for every event posted to it from another
        // thread, that is for every client line; its own loop wakes once for a whole batch.
        // The client's setting is put back so that the desktop application inherits it.
        const bool noGlibWasSet = qEnvironmentVariableIsSet("QT_NO_GLIB");
        const QByteArray noGlib = qgetenv("QT_NO_GLIB");
        qputenv("QT_NO_GLIB", "1");
        QCoreApplication app(argc, argv);
        if (noGlibWasSet)
            qputenv("QT_NO_GLIB", noGlib);
        else
            qunsetenv("QT_NO_GLIB");
        QCoreApplication::setApplicationName(QStringLiteral("OXL Calyxen Connector"));
        QCoreApplication::setApplicationVersion(QStringLiteral(OXLCONSOLE_VERSION));
        if (argc <= 1)
            return 0;
        const std::string mode = argv[1];
        if (mode != "Calyxen")
            return 0;
        oxlconsole::Console console;
        oxlconsole::checkedSingleShot(1, &console, SLOT(runCalyxen()));
        oxlconsole::checkedConnect(&console, SIGNAL(quit()), &app, SLOT(quit()));
        return app.exec();
    });
}
