#include "checkedconnect.h"
#include "console.h"
#include "exceptionguard.h"
#include "processsetup.h"

#include <QCoreApplication>

#include <cstring>

int main(int argc, char *argv[])
{
    oxlconsole::ProcessSetup::apply();
    return oxlconsole::runGuarded([&] {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("OXL Calyxen Connector"));
        QCoreApplication::setApplicationVersion(QStringLiteral(OXLCONSOLE_VERSION));
        if (argc < 2 || std::strcmp(argv[1], "Calyxen") != 0)
            return 0;

        oxlconsole::Console console;
        oxlconsole::checkedSingleShot(1, &console, SLOT(runCalyxen()));
        oxlconsole::checkedConnect(&console, SIGNAL(quit()), &app, SLOT(quit()));
        const int status = app.exec();
        return status != 0 ? status : int(console.exitStatus());
    });
}
