#ifndef OXLCONSOLE_CALYXENWORKER_H
#define OXLCONSOLE_CALYXENWORKER_H

#include <QObject>

#include <atomic>
#include <exception>

namespace oxlconsole {

class ReadAheadLimit;

// How the reader's loop ended, other than at a clean end of input. Written by the reader
// before its thread finishes, read once it has.
struct ReaderOutcome
{
    // An exception that ended the loop, such as a line too large for memory.
    std::exception_ptr failure;
    // Reading standard input failed; the lines read before were passed on. Atomic because it is
    // written on every run and the thread's end is signalled through Qt, which a thread
    // checker cannot follow.
    std::atomic<bool> readFailed{false};
};

// The reader: lives on the reader thread and reads standard input there, line by line.
class CalyxenWorker : public QObject
{
    Q_OBJECT

public:
    // Each line passes through limit before it is emitted; its receiver releases it there.
    CalyxenWorker(ReadAheadLimit *limit, ReaderOutcome *outcome);

signals:
    // One line of the client's input, without its line end, in the order read.
    void messageReceived(const QString &msg);

public slots:
    // Runs on the reader thread until the input ends, fails or the reader is interrupted,
    // blocking in the read and on the read-ahead bound; then quits its thread.
    void doWork();

private:
    ReadAheadLimit *m_limit;
    ReaderOutcome *m_outcome;
};

} // namespace oxlconsole

#endif
