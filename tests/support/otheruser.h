#ifndef OXLTEST_OTHERUSER_H
#define OXLTEST_OTHERUSER_H

#include <QStringList>

// The user nobody, for a desktop application that serves OXL as another user than the
// bridge's. POSIX only.
namespace OtherUser {

// Whether this process may start programs as another user: root only.
bool available();
// Hands directory to the user nobody, so that a program it runs can serve OXL and keep its
// record there; false if that failed.
bool takeOver(const QString &directory);
// The command that runs a program as the user nobody.
QStringList launcher();

} // namespace OtherUser

#endif
