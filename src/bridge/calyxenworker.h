#ifndef OXLCONSOLE_CALYXENWORKER_H
#define OXLCONSOLE_CALYXENWORKER_H

#include <QObject>

#include <exception>

namespace oxlconsole {

class ReadAheadLimit;

class CalyxenWorker : public QObject
{
    Q_OBJECT

public:
    // Each line passes through limit before it is emitted; its receiver releases it there. An
    // exception that ends the loop, such as a line too large for memory, is kept in failure.
    CalyxenWorker(ReadAheadLimit *limit, std::exception_ptr *failure);

signals:
    void messageReceived(const QString &msg);

public slots:
    void doWork();

private:
    ReadAheadLimit *m_limit;
    std::exception_ptr *m_failure;
};

} // namespace oxlconsole

#endif
