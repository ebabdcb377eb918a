#include "checkedconnect.h"

#include <QTimer>

namespace oxlconsole {

void checkedConnect(const QObject *sender, const char *signal, const QObject *receiver, const char *method)
{
    if (!QObject::connect(sender, signal, receiver, method)) {
        // The texts start with the code that SIGNAL() and SLOT() put before the signature.
        qFatal("Cannot connect %s::%s to %s::%s", sender->metaObject()->className(), signal + 1,
               receiver->metaObject()->className(), method + 1);
    }
}

void checkedSingleShot(int msec, QObject *receiver, const char *member)
{
    auto *timer = new QTimer(receiver);
    timer->setSingleShot(true);
    timer->setTimerType(msec < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer);
    checkedConnect(timer, SIGNAL(timeout()), receiver, member);
    QObject::connect(timer, &QTimer::timeout, timer, &QObject::deleteLater);
    timer->start(msec);
}

} // namespace oxlconsole
