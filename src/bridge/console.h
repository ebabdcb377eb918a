#ifndef OXLCONSOLE_CONSOLE_H
#define OXLCONSOLE_CONSOLE_H

#include "calyxenworker.h"
#include "desktoplauncher.h"
#include "readaheadlimit.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThread>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace oxlconsole {

class IPCObject;

// The controller, made and used on the main thread, where all its slots run. It owns the
// reader thread and the link, passes each client line on, retries the connection, and decides
// when and how the bridge ends.
class Console : public QObject
{
    Q_OBJECT

public:
    // Finds the bridge's folder for OXL.exe and arms the first connection attempt; the reader
    // does not run before runCalyxen().
    Console();
    // Interrupts the reader and waits for its thread, which never takes long, then emits quit()
    // for whoever runs the event loop: the destructor also runs when an exception unwinds past
    // finish(), and a loop left running without a bridge would keep the process alive.
    ~Console() override;

    // Why the bridge failed, once its event loop has returned: the first of these that applies.
    enum ExitStatus {
        Success = 0,
        ReaderNotStarted = 2,
        LinesNotDelivered = 3,
        InputFailed = 4,
        OutputFailed = 5
    };
    ExitStatus exitStatus() const;

signals:
    // The bridge is done: its input has ended and been dealt with, or it could not run.
    void quit();

public slots:
    // Starts the reader thread; ends the bridge at once when the thread cannot be made.
    void runCalyxen();
    // One connection attempt, blocking for up to the link's attempt time; the reconnect timer
    // calls it until the link is up.
    void runOXL();
    // A client line from the reader (queued): sent, which may block while the desktop
    // application takes nothing, or, as the control line, starts OXL.exe.
    void calyxenMessageReceived(const QString &msg);
    // A desktop text: written to standard output with a line end; blocks only while the
    // client's pipe is full.
    void oxlMessageReceived(const QString &msg);
    // The desktop application closed the connection: retry, or end if input has ended.
    void oxlDisconnected();

private slots:
    void oxlSendStalled();

private:
    static constexpr int ReconnectIntervalMs = 2000;
    // How long the desktop application may still answer once every line has been written at
    // the end of input.
    static constexpr int AnswerGraceMs = 500;

    void inputEnded();
    void finish();

    QTimer *m_reconnectTimer;
    ReadAheadLimit m_readAhead;
    QThread m_readerThread;
    IPCObject *m_link;
    QElapsedTimer m_sinceInputEnded;
    const DesktopLauncher m_desktopLauncher;
    ReaderOutcome m_readerOutcome;
    bool m_readerStarted = false;
    bool m_linesDelivered = true;
};

} // namespace oxlconsole

#endif
