#include "console.h"

#include "bridgelogging.h"
#include "calyxenworker.h"
#include "checkedconnect.h"
#include "controlline.h"
#include "ipcobject.h"
#include "standardinput.h"
#include "standardoutput.h"

#include <QTimer>

#include <cstdio>

namespace oxlconsole {

Console::Console()
    : m_reconnectTimer(new QTimer(this))
    , m_link(new IPCObject)
{
    auto *reader = new CalyxenWorker(&m_readAhead, &m_readerOutcome);
    checkedConnect(m_link, SIGNAL(gotMessage(const QString&)), this, SLOT(oxlMessageReceived(const QString&)));
    checkedConnect(m_link, SIGNAL(gotDisconnected()), this, SLOT(oxlDisconnected()));
    connect(reader, &CalyxenWorker::messageReceived, this, &Console::calyxenMessageReceived);
    connect(&m_readerThread, &QThread::finished, reader, &QObject::deleteLater);
    connect(&m_readerThread, &QThread::started, reader, &CalyxenWorker::doWork);
    // The reader finishes on its own only at the end of standard input; the lines it read
    // before are queued ahead of this and are handled first.
    connect(&m_readerThread, &QThread::finished, this, &Console::inputEnded);
    checkedConnect(m_link, SIGNAL(sendStalled()), this, SLOT(oxlSendStalled()));
    checkedConnect(m_reconnectTimer, SIGNAL(timeout()), this, SLOT(runOXL()));
    reader->moveToThread(&m_readerThread);
    // A coarse timer may fire early; the first attempt must not come before its interval.
    m_reconnectTimer->setTimerType(Qt::PreciseTimer);
    m_reconnectTimer->start(ReconnectIntervalMs);
}

Console::~Console()
{
    m_readerThread.quit();
    StandardInput::interrupt(&m_readerThread);
    m_readAhead.interrupt();
    m_readerThread.wait();
    emit quit();
    // The link goes only now, when the process is about to end, taking its connection with it.
    delete m_link;
}

void Console::runCalyxen()
{
    m_readerThread.start(QThread::InheritPriority);
    // A thread that has already finished was started; one that failed to start is neither.
    m_readerStarted = m_readerThread.isRunning() || m_readerThread.isFinished();
    if (!m_readerStarted) {
        // Without its reader the bridge would never see its input, nor its end.
        std::fputs("oxlconsole: cannot start the thread that reads standard input\n", stderr);
        emit quit();
    }
}

Console::ExitStatus Console::exitStatus() const
{
    if (!m_readerStarted)
        return ReaderNotStarted;
    if (!m_linesDelivered)
        return LinesNotDelivered;
    if (m_readerOutcome.readFailed)
        return InputFailed;
    if (StandardOutput::failed())
        return OutputFailed;
    return Success;
}

void Console::runOXL()
{
    if (!m_link->isConnected())
        m_link->connectToServer();
    if (m_link->isConnected())
        m_reconnectTimer->stop();
}

void Console::calyxenMessageReceived(const QString &msg)
{
    // Texts of different lengths never compare equal, whatever their letter case.
    if (msg.size() != controlLine.size() || msg.compare(controlLine, Qt::CaseInsensitive) != 0) {
        m_link->sendMessage(msg);
    } else {
        m_desktopLauncher.start();
        m_reconnectTimer->start();
    }
    // Only now: a line that is still being sent is held in memory as much as a queued one.
    m_readAhead.release(msg);
}

void Console::oxlMessageReceived(const QString &msg)
{
    QByteArray bytes = msg.toUtf8();
    bytes.append('\n');
    StandardOutput::write(bytes);
}

void Console::oxlDisconnected()
{
    if (m_sinceInputEnded.isValid())
        finish();
    else
        m_reconnectTimer->start();
}

// Every line read reaches the desktop application before the bridge ends, and so does the
// answer to the last one, as long as it comes within the grace period.
void Console::inputEnded()
{
    // Thrown here, on the main thread, it ends the bridge as any other failure does; it must
    // not end the reader's thread, which would abort the process.
    if (m_readerOutcome.failure)
        std::rethrow_exception(m_readerOutcome.failure);
    m_sinceInputEnded.start();
    m_link->noMoreLines();
    const bool connected = m_link->isConnected();
    qCDebug(lcBridge) << "end of input; connected:" << connected << "read failed:" << m_readerOutcome.readFailed.load();
    if (connected) {
        m_linesDelivered = m_link->waitForSent();
        qCDebug(lcBridge) << (m_linesDelivered ? "all lines written" : "lines left unwritten")
                          << m_sinceInputEnded.elapsed() << "ms after the end of input";
    }
    // A desktop application that takes nothing will not answer either.
    if (m_linesDelivered && m_link->isConnected())
        QTimer::singleShot(AnswerGraceMs, this, &Console::finish);
    else
        finish();
}

// While the desktop application takes nothing, the reader is held back with the next line and
// may not have seen the end of input yet; the client's closed pipe tells it already.
void Console::oxlSendStalled()
{
    if (m_readerThread.isFinished() || StandardInput::closedByClient())
        m_link->noMoreLines();
}

void Console::finish()
{
    qCDebug(lcBridge) << "ending" << m_sinceInputEnded.elapsed() << "ms after the end of input";
    emit quit();
}

} // namespace oxlconsole
