#ifndef OXLTEST_DESKTOP_H
#define OXLTEST_DESKTOP_H

#include <QProcess>
#include <QStringList>

class BridgeProcess;

// The sample desktop application, serving the socket name of a bridge's private directory.
class Desktop
{
public:
    explicit Desktop(const BridgeProcess &bridge);
    ~Desktop();

    // Starts the application and waits until it accepts connections. A launcher, when given,
    // is a command that runs it (setpriv, to serve as another user).
    bool start(const QStringList &arguments, const QStringList &launcher = {});

    QString recordPath() const;
    QByteArray recorded() const;
    qint64 recordedSize() const;

    QProcess process;

private:
    const BridgeProcess &m_bridge;
};

#endif
