#ifndef OXLTEST_DESKTOP_H
#define OXLTEST_DESKTOP_H

#include <QProcess>
#include <QStringList>

class BridgeProcess;

// The sample desktop application, serving the socket name OXL of a private directory: a
// bridge's, or the one that this process's own link finds through TMPDIR.
class Desktop
{
public:
    explicit Desktop(const BridgeProcess &bridge);
    explicit Desktop(const QString &directory);
    ~Desktop();

    // Starts the application and waits until it accepts connections. A launcher, when given,
    // is a command that runs it (setpriv, to serve as another user).
    bool start(const QStringList &arguments, const QStringList &launcher = {});

    QString recordPath() const;
    QByteArray recorded() const;
    qint64 recordedSize() const;

    QProcess process;

private:
    const QString m_directory;
};

#endif
