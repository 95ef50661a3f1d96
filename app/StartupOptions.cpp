#include "app/StartupOptions.h"

#include "bridge/AppBridge.h"
#include "log/elog.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cstdio>

namespace {
const char PortOption[] = "port";
const char BaudOption[] = "baud";
const char HelpOption[] = "help";

void addOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({QString::fromLatin1(PortOption),
                      QStringLiteral("Open serial port PORT as soon as the window is up."), QStringLiteral("PORT")});
    parser.addOption({QString::fromLatin1(BaudOption),
                      QStringLiteral("Baud rate for --port (default %1).").arg(StartupOptions::DefaultBaudRate),
                      QStringLiteral("N")});
    parser.addOption({QString::fromLatin1(HelpOption), QStringLiteral("Show these options and quit.")});
}

QString baudRateError(const QString &text, int &baudRate)
{
    bool isNumber = false;
    baudRate = text.toInt(&isNumber);
    if (!isNumber || baudRate <= 0)
        return QStringLiteral("--baud takes a positive whole number, not \"%1\"").arg(text);
    return QString();
}
}

StartupOptions parseStartupOptions(const QStringList &arguments)
{
    StartupOptions options;
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return options;
    }
    options.helpRequested = parser.isSet(QString::fromLatin1(HelpOption));
    options.portName = parser.value(QString::fromLatin1(PortOption));
    if (parser.isSet(QString::fromLatin1(PortOption)) && options.portName.trimmed().isEmpty()) {
        options.error = QStringLiteral("--port needs the name of a serial port");
        return options;
    }
    if (parser.isSet(QString::fromLatin1(BaudOption))) {
        if (options.portName.isEmpty()) {
            options.error = QStringLiteral("--baud is only used with --port");
            return options;
        }
        options.error = baudRateError(parser.value(QString::fromLatin1(BaudOption)), options.baudRate);
    }
    return options;
}

QString startupUsage()
{
    QCommandLineParser parser;
    addOptions(parser);
    // The program name is fixed so the text reads the same however the tool was started.
    QString help = parser.helpText();
    help.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: tavox"));
    return help;
}

int answerWithoutWindow(const StartupOptions &options)
{
    if (options.error.isEmpty()) {
        std::fputs(startupUsage().toUtf8().constData(), stdout);
        return 0;
    }
    std::fputs((options.error + QLatin1String("\n\n") + startupUsage()).toUtf8().constData(), stderr);
    return 2;
}

void openStartupPort(AppBridge &bridge, const StartupOptions &options)
{
    if (options.portName.isEmpty())
        return;
    elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "Opening serial port from the command line: %s @ %d",
                options.portName.toUtf8().constData(), options.baudRate);
    bridge.openSerial(options.portName, options.baudRate);
}
