#ifndef OXLCONSOLE_CALYXENWORKER_H
#define OXLCONSOLE_CALYXENWORKER_H

#include <QObject>

namespace oxlconsole {

class CalyxenWorker : public QObject
{
    Q_OBJECT

public:
    CalyxenWorker();

signals:
    void messageReceived(const QString &msg);

public slots:
    void doWork();
};

} // namespace oxlconsole

#endif
