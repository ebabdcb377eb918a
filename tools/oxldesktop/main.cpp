#include "desktopserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <optional>

namespace {

// Lets a test see that the bridge started this program: its process id, file, working
// directory, arguments, and the program name as its starter gave it.
void recordLaunch()
{
    const QString logPath = qEnvironmentVariable("OXL_DESKTOP_LAUNCH_LOG");
    if (logPath.isEmpty())
        return;
    QFile log(logPath);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    log.write(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                  .arg(QCoreApplication::applicationPid())
                  .arg(QCoreApplication::applicationFilePath(), QDir::currentPath())
                  .arg(arguments.size())
                  .arg(arguments.join(QLatin1Char(' ')), QCoreApplication::arguments().value(0))
                  .toUtf8());
}

// Text given on the command line with its escapes \n, \r, \t and \\ replaced; none for any
// other escape, which would otherwise end answers with bytes that were not meant.
std::optional<QByteArray> unescaped(const QByteArray &text)
{
    QByteArray result;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) != '\\') {
            result += text.at(i);
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text.at(i)) {
        case 'n':
            result += '\n';
            break;
        case 'r':
            result += '\r';
            break;
        case 't':
            result += '\t';
            break;
        case '\\':
            result += '\\';
            break;
        default:
            return std::nullopt;
        }
    }
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("oxldesktop"));
    recordLaunch();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sample desktop application: serves the local socket OXL, greets each connection "
        "and answers each line it receives with \"OXL received: <line>\"."));
    parser.addHelpOption();
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Serve under this name."),
                                  QStringLiteral("name"), QStringLiteral("OXL"));
    const QCommandLineOption greeting(QStringLiteral("greeting"),
                                      QStringLiteral("Text sent to each new connection (empty: none)."),
                                      QStringLiteral("text"), QStringLiteral("OXL desktop application ready"));
    const QCommandLineOption answerEnd(
        QStringLiteral("answer-end"),
        QStringLiteral("Text that ends each answer and the greeting; takes the escapes \\n, \\r, \\t and \\\\."),
        QStringLiteral("text"));
    const QCommandLineOption sendHex(QStringLiteral("send-hex"),
                                     QStringLiteral("Raw bytes, in hexadecimal, sent after the greeting."),
                                     QStringLiteral("hex"));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("Answer nothing."));
    const QCommandLineOption echo(QStringLiteral("echo"),
                                  QStringLiteral("Send every received byte back unchanged instead of answering lines."));
    const QCommandLineOption closeAfter(QStringLiteral("close-after"),
                                        QStringLiteral("Close the connection after n lines."), QStringLiteral("n"));
    const QCommandLineOption stall(QStringLiteral("stall"),
                                   QStringLiteral("Read nothing for ms milliseconds after accepting a connection."),
                                   QStringLiteral("ms"));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Append every received byte to file."), QStringLiteral("file"));
    parser.addOptions({name, greeting, answerEnd, sendHex, quiet, echo, closeAfter, stall, record});
    parser.process(app);

    DesktopOptions options;
    options.serverName = parser.value(name);
    options.greeting = parser.value(greeting).toUtf8();
    const std::optional<QByteArray> end = unescaped(parser.value(answerEnd).toUtf8());
    if (!end) {
        std::fprintf(stderr, "oxldesktop: --answer-end takes the escapes \\n, \\r, \\t and \\\\ only\n");
        return 1;
    }
    options.answerEnd = *end;
    options.sendOnConnect = QByteArray::fromHex(parser.value(sendHex).toLatin1());
    options.reply = !parser.isSet(quiet);
    options.rawEcho = parser.isSet(echo);
    options.closeAfter = parser.value(closeAfter).toInt();
    options.stallMs = parser.value(stall).toInt();
    options.recordPath = parser.value(record);

    DesktopServer server(options);
    if (!server.listen()) {
        std::fprintf(stderr, "oxldesktop: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    return app.exec();
}
