#ifndef OXLCONSOLE_CHECKEDCONNECT_H
#define OXLCONSOLE_CHECKEDCONNECT_H

#include <QObject>

namespace oxlconsole {

// Connections by signature text are resolved at run time, and Qt only warns about a text that
// names no signal or slot, such as a name that one Qt version has and another has not. These
// end the program instead, naming the text: a bridge that would never report a connection
// error, or never read its input, must not run on as if it did.
void checkedConnect(const QObject *sender, const char *signal, const QObject *receiver, const char *method);

// QTimer::singleShot() with a member's signature text, its connection checked as above.
void checkedSingleShot(int msec, QObject *receiver, const char *member);

} // namespace oxlconsole

#endif
