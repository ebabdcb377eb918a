#ifndef OXLCONSOLE_CALYXENWORKER_H
#define OXLCONSOLE_CALYXENWORKER_H

#include <QObject>

namespace oxlconsole {

class ReadAheadLimit;

class CalyxenWorker : public QObject
{
    Q_OBJECT

public:
    // Each line passes through limit before it is emitted; its receiver releases it there.
    explicit CalyxenWorker(ReadAheadLimit *limit);

signals:
    void messageReceived(const QString &msg);

public slots:
    void doWork();

private:
    ReadAheadLimit *m_limit;
};

} // namespace oxlconsole

#endif
