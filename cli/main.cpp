// tavoxctl: the command-line companion of the TAVOX window. Run with --help.
#include "app/InterruptWatcher.h"
#include "app/Version.h"
#include "bridge/SerialLink.h"
#include "bridge/Uartcore.h"
#include "cli/CalibrateCommand.h"
#include "cli/CliOutput.h"
#include "cli/CommandLine.h"
#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"
#include "cli/MonitorCommand.h"
#include "cli/ParamsCommands.h"
#include "cli/RecordCommand.h"
#include "cli/UpgradeCommand.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <csignal>
#include <cstdio>

namespace {
bool verboseOutput = false;

// The bridge echoes its message log as debug output: shown with --verbose only,
// so that standard error carries this program's own messages.
void filterMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && !verboseOutput)
        return;
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

int listPorts(const CliOutput &out)
{
    const QStringList ports = Uartcore::availablePortNames();
    for (const QString &port : ports)
        out.data(port);
    if (ports.isEmpty())
        out.note(out.text(SerialLink::noPortsFoundText()));
    return ExitCode::Success;
}

int runOnDevice(const CommandLine &command, const CliOutput &out, InterruptWatcher &interrupts)
{
    DeviceSession session(out, interrupts, command.replyTimeoutMs);
    ParamsCommands params(session, command.port, command.baud);
    switch (command.action) {
    case CommandLine::Action::Info:
        return params.info(command.json);
    case CommandLine::Action::ParamsGet:
        return params.get(command.json);
    case CommandLine::Action::ParamsSave:
        return params.save(command.file);
    case CommandLine::Action::ParamsDiff:
        return params.diff(command.file);
    case CommandLine::Action::ParamsLoad:
        return params.load(command.file, command.dryRun, command.yes);
    case CommandLine::Action::Upgrade:
        return runUpgrade(session, command.port, command.baud, command.file);
    case CommandLine::Action::Monitor:
        return runMonitor(session, command.port, command.baud, command.seconds, command.json, command.reconnect);
    case CommandLine::Action::Record:
        return runRecord(session, command.port, command.baud, command.seconds, command.file);
    case CommandLine::Action::Calibrate:
        return runCalibrate(session, command.port, command.baud, command.calibration);
    case CommandLine::Action::Ports:
        break;
    }
    return ExitCode::Usage;
}

// Data that standard output did not take makes no success.
int checkedOutput(const CliOutput &out, int code)
{
    const QString failure = out.dataFailure();
    if (failure.isEmpty())
        return code;
    out.error(out.text(QStringLiteral("无法写入标准输出: %1"), QStringLiteral("cannot write standard output: %1")).arg(failure));
    return code == ExitCode::Success ? ExitCode::Usage : code;
}

int run(const QCoreApplication &app, const CliOutput &out)
{
    CommandLine command;
    const int parsed = parseCommandLine(app.arguments(), out, command);
    if (parsed >= 0)
        return parsed;
    verboseOutput = command.verbose;
    // Unheard, the diagnostic lines are never built: an upgrade would format one per packet.
    if (!verboseOutput)
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    if (command.action == CommandLine::Action::Ports)
        return listPorts(out);
    InterruptWatcher interrupts;
    return runOnDevice(command, out, interrupts);
}
}

int main(int argc, char *argv[])
{
    // A write beyond the file size limit (ulimit -f) or to a pipe whose reader
    // has gone fails with EFBIG or EPIPE and is dealt with where it happens,
    // instead of killing the program with its port and the port's lock file held.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    CliOutput::reserveStandardOutput();
    // Qt's own event dispatcher instead of GLib's, which this program has no use
    // for: it rebuilds its poll set on every turn, a third of the system time
    // an upgrade packet costs.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavoxctl"));
    QCoreApplication::setApplicationVersion(tavoxVersion());
    qInstallMessageHandler(filterMessages);

    const CliOutput out(CliOutput::chooseLanguage());
    return checkedOutput(out, run(app, out));
}
