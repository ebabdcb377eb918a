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

class Console : public QObject
{
    Q_OBJECT

public:
    Console();
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
    void quit();

public slots:
    void runCalyxen();
    void runOXL();
    void calyxenMessageReceived(const QString &msg);
    void oxlMessageReceived(const QString &msg);
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
