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
        QCoreApplication app(argc, argv);
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
        const int status = app.exec();
        return status != 0 ? status : int(console.exitStatus());
    });
}
