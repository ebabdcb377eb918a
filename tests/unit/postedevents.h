#ifndef OXLTEST_POSTEDEVENTS_H
#define OXLTEST_POSTEDEVENTS_H

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QObject>

// Returns once this thread has handled every event posted to it before the call, signals
// queued by other threads included: a call queued now runs after them. What a test then
// finds has not happened was not merely late.
inline bool handlePostedEvents()
{
    QObject context;
    bool reached = false;
    QMetaObject::invokeMethod(&context, [&reached] { reached = true; }, Qt::QueuedConnection);
    const QDeadlineTimer deadline(5000);
    while (!reached && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return reached;
}

#endif
