#include "app/StartupOptions.h"

#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "log/elog.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cstdio>

namespace {
const char PortOption[] = "port";
const char BaudOption[] = "baud";
const char HelpOption[] = "help";
const char VersionOption[] = "version";

// The options QCoreApplication, QGuiApplication, QApplication and the X11
// platform take out of the command line for themselves (Qt 5.15), with a
// value or without. Known here so that the command line can be read before
// Qt has taken them; Qt's documentation describes them, not this help.
const char *const QtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "session", "display", "geometry", "title", "icon", "name", "visual", "style", "stylesheet", "qmljsdebugger",
};
const char *const QtFlags[] = {"reverse", "widgetcount", "testability", "sync", "nograb", "dograb"};

void addQtOptions(QCommandLineParser &parser)
{
    for (const char *name : QtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : QtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

void addOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("The TAVOX gimbal controller's configuration and service tool."));
    parser.addOption({QString::fromLatin1(PortOption),
                      QStringLiteral("Open serial port PORT as soon as the window is up."), QStringLiteral("PORT")});
    parser.addOption({QString::fromLatin1(BaudOption),
                      QStringLiteral("Baud rate for --port (default %1).").arg(StartupOptions::DefaultBaudRate),
                      QStringLiteral("N")});
    parser.addOption({{QStringLiteral("h"), QString::fromLatin1(HelpOption)}, QStringLiteral("Show these options and quit.")});
    parser.addOption({{QStringLiteral("v"), QString::fromLatin1(VersionOption)},
                      QStringLiteral("Show the version and quit.")});
    addQtOptions(parser);
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
    options.versionRequested = parser.isSet(QString::fromLatin1(VersionOption));
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

QStringList commandLineArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
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
        const QString answer = options.helpRequested ? startupUsage()
                                                     : QStringLiteral("tavox ") + tavoxVersion() + QLatin1Char('\n');
        std::fputs(answer.toUtf8().constData(), stdout);
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
