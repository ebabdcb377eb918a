#ifndef OXLDESKTOP_DESKTOPSERVER_H
#define OXLDESKTOP_DESKTOPSERVER_H

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QLocalServer>
#include <QObject>

QT_BEGIN_NAMESPACE
class QLocalSocket;
QT_END_NAMESPACE

struct DesktopOptions
{
    QString serverName = QStringLiteral("OXL");
    QByteArray greeting = "OXL desktop application ready";
    QByteArray answerEnd;
    QByteArray sendOnConnect;
    bool reply = true;
    bool rawEcho = false;
    int closeAfter = 0;
    int stallMs = 0;
    QString recordPath;
};

// A stand-in for the desktop application: serves the local socket and answers each line.
class DesktopServer : public QObject
{
    Q_OBJECT

public:
    explicit DesktopServer(const DesktopOptions &options, QObject *parent = nullptr);

    bool listen();
    QString errorString() const;

private slots:
    void acceptConnection();
    void readClient();
    void dropClient();

private:
    struct Client
    {
        QByteArray partialLine;
        int lines = 0;
    };

    void resumeReading(QLocalSocket *socket);
    void serve(QLocalSocket *socket);

    DesktopOptions m_options;
    QLocalServer m_server;
    QFile m_record;
    QHash<QLocalSocket *, Client> m_clients;
};

#endif
