#include "cli/CommandLine.h"

#include "app/Config.h"
#include "cli/CalibrateCommand.h"
#include "cli/CliOutput.h"
#include "cli/ExitCode.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
const int DefaultBaud = 921600;
const int DefaultTimeoutSeconds = 5;
// A day: longer than any wait a controller or an operator needs, and far
// below what the millisecond count (a qint64) could hold.
const qint64 MaxTimeoutSeconds = 86400;

const QString FileWord = QStringLiteral("FILE");
const QString KindWord = QStringLiteral("KIND");

struct Grammar
{
    QStringList words;   // the command's positional words, the file as FILE, a calibration as KIND
    CommandLine::Action action;
    QStringList options; // the command options it accepts
};

const QVector<Grammar> &grammar()
{
    static const QVector<Grammar> commands = {
        {{"ports"}, CommandLine::Action::Ports, {}},
        {{"info"}, CommandLine::Action::Info, {"json"}},
        {{"params", "get"}, CommandLine::Action::ParamsGet, {"json"}},
        {{"params", "save", "FILE"}, CommandLine::Action::ParamsSave, {}},
        {{"params", "diff", "FILE"}, CommandLine::Action::ParamsDiff, {}},
        {{"params", "load", "FILE"}, CommandLine::Action::ParamsLoad, {"dry-run", "yes"}},
        {{"upgrade", "FILE"}, CommandLine::Action::Upgrade, {}},
        {{"monitor"}, CommandLine::Action::Monitor, {"json", "seconds", "no-reconnect"}},
        {{"record", "FILE"}, CommandLine::Action::Record, {"seconds"}},
        {{"calibrate", "KIND"}, CommandLine::Action::Calibrate, {}},
    };
    return commands;
}

const QStringList CommandOptions = {"json", "dry-run", "yes", "seconds", "no-reconnect"};

QString description(const CliOutput &out)
{
    return out.text(QStringLiteral(
        "TAVOX 云台控制器的命令行工具。\n\n"
        "命令:\n"
        "  ports                      列出串口 (TAVOX_EXTRA_PORTS 中的优先)\n"
        "  info [--json]              固件和引导程序版本、参数形式、参数块\n"
        "  params get [--json]        参数块\n"
        "  params save FILE           把参数块保存为 JSON 参数文件\n"
        "  params diff FILE           控制器与文件的差异\n"
        "  params load FILE [--dry-run] [--yes]\n"
        "                             只写入不同的参数，然后读回核对\n"
        "  upgrade FILE               固件升级\n"
        "  monitor [--seconds N] [--json] [--no-reconnect]\n"
        "                             每秒显示心跳 (姿态、状态、接收机通道) 和链路数据\n"
        "                             (帧/秒、字节/秒、CRC 错误、重新同步丢弃的字节)，\n"
        "                             到 N 秒或 Ctrl-C 为止; 串口断开后等待它重新连接\n"
        "                             (zentaro.cfg 的 serial/reconnect 关闭时除外)\n"
        "  record [--seconds N] FILE  把链路的每一帧录制到 pcapng 文件 FILE，到 N 秒、\n"
        "                             Ctrl-C 或串口断开为止\n"
        "  calibrate KIND             校准并等待控制器应答; KIND: accel (六面加速度计)、\n"
        "                             gyro (陀螺仪偏置)、hall (霍尔)、linear (电机线性化)、\n"
        "                             zero (零点)\n\n"
        "退出码: 0 成功, 2 用法或输入文件错误 (未写入任何内容), 3 串口无法打开或已断开,\n"
        "4 控制器拒绝或报告失败, 5 无回复 (超时), 6 升级校验失败,\n"
        "130 被 Ctrl-C、SIGTERM 或 SIGHUP 中断。\n"
        "消息写到标准错误，数据写到标准输出。"),
        QStringLiteral(
        "Command-line companion of the TAVOX gimbal configurator.\n\n"
        "Commands:\n"
        "  ports                      serial ports (TAVOX_EXTRA_PORTS first)\n"
        "  info [--json]              firmware and boot versions, parameter form, parameter block\n"
        "  params get [--json]        the parameter block\n"
        "  params save FILE           save the parameter block as a JSON parameter file\n"
        "  params diff FILE           differences between the controller and the file\n"
        "  params load FILE [--dry-run] [--yes]\n"
        "                             write only what differs, then read back and verify\n"
        "  upgrade FILE               firmware upgrade\n"
        "  monitor [--seconds N] [--json] [--no-reconnect]\n"
        "                             heartbeat (attitude, status, receiver channels) and link\n"
        "                             figures (frames/s, bytes/s, CRC failures, bytes dropped to\n"
        "                             resynchronise) once a second, for N seconds or until Ctrl-C;\n"
        "                             a lost port is waited for and reopened (unless\n"
        "                             serial/reconnect in zentaro.cfg is off)\n"
        "  record [--seconds N] FILE  record every frame of the link into the pcapng file FILE,\n"
        "                             for N seconds or until Ctrl-C or the port is lost\n"
        "  calibrate KIND             run a calibration and wait for the controller's answer;\n"
        "                             KIND: accel (six-face accelerometer), gyro (gyroscope bias),\n"
        "                             hall (hall sensors), linear (motor linearisation), zero (zero point)\n\n"
        "Exit codes: 0 success, 2 usage or bad input file (nothing written), 3 port cannot be\n"
        "opened or was lost, 4 controller refused or reported failure, 5 no reply (timeout),\n"
        "6 upgrade verification failed, 130 interrupted by Ctrl-C, SIGTERM or SIGHUP.\n"
        "Messages go to standard error, data to standard output."));
}

void addOptions(QCommandLineParser &parser, const CliOutput &out)
{
    parser.addOptions({
        {{"p", "port"}, out.text(QStringLiteral("串口"), QStringLiteral("Serial port.")), QStringLiteral("PORT")},
        {{"b", "baud"}, out.text(QStringLiteral("波特率 (921600)"), QStringLiteral("Baud rate (921600).")),
         QStringLiteral("BAUD"), QString::number(DefaultBaud)},
        {{"t", "timeout"}, out.text(QStringLiteral("等待回复的秒数 (5，最多 %1)").arg(MaxTimeoutSeconds),
                                    QStringLiteral("Seconds to wait for a reply (5, at most %1).").arg(MaxTimeoutSeconds)),
         QStringLiteral("SECONDS"), QString::number(DefaultTimeoutSeconds)},
        {"json", out.text(QStringLiteral("输出 JSON (info, params get, monitor)"),
                          QStringLiteral("Print JSON (info, params get, monitor)."))},
        {"seconds", out.text(QStringLiteral("监视或录制的秒数 (monitor, record; 默认直到 Ctrl-C)"),
                             QStringLiteral("Seconds to monitor or record (monitor, record; default until Ctrl-C).")),
         QStringLiteral("N")},
        {"no-reconnect", out.text(QStringLiteral("串口断开时结束，不等待它重新连接 (monitor)"),
                                  QStringLiteral("End when the port is lost rather than wait for it to come back (monitor)."))},
        {"dry-run", out.text(QStringLiteral("只显示差异 (params load)"), QStringLiteral("Show the differences only (params load)."))},
        {"yes", out.text(QStringLiteral("不询问，允许重启控制器 (params load)"),
                         QStringLiteral("Do not ask before writes that restart the controller (params load)."))},
        {"verbose", out.text(QStringLiteral("显示消息日志和诊断行"),
                                    QStringLiteral("Show the message log and diagnostic lines."))},
    });
}

bool matches(const Grammar &command, const QStringList &words)
{
    if (words.size() != command.words.size())
        return false;
    for (int i = 0; i < words.size(); ++i) {
        const QString &word = command.words.at(i);
        if (word != FileWord && word != KindWord && word != words.at(i))
            return false;
    }
    return true;
}

QString commandName(const Grammar &command)
{
    QStringList words = command.words;
    words.removeAll(FileWord);
    words.removeAll(KindWord);
    return words.join(QLatin1Char(' '));
}

int usageError(const CliOutput &out, const QString &message)
{
    out.error(message + QLatin1Char('\n')
              + out.text(QStringLiteral("用法见 tavoxctl --help"), QStringLiteral("see tavoxctl --help")));
    return ExitCode::Usage;
}

bool timeoutSeconds(const QString &text, qint64 &seconds)
{
    bool ok = false;
    seconds = text.toLongLong(&ok);
    return ok && seconds > 0 && seconds <= MaxTimeoutSeconds;
}

bool positiveNumber(const QString &text, int &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value > 0;
}

int readGlobalOptions(const QCommandLineParser &parser, const CliOutput &out, CommandLine &command)
{
    command.port = parser.value(QStringLiteral("port"));
    if (!positiveNumber(parser.value(QStringLiteral("baud")), command.baud))
        return usageError(out, out.text(QStringLiteral("无效的波特率: %1"), QStringLiteral("invalid baud rate: %1"))
                                   .arg(parser.value(QStringLiteral("baud"))));
    qint64 seconds = 0;
    if (!timeoutSeconds(parser.value(QStringLiteral("timeout")), seconds))
        return usageError(out, out.text(QStringLiteral("无效的超时: %1 (应为 1 到 %2 的整秒数)"),
                                        QStringLiteral("invalid timeout: %1 (whole seconds from 1 to %2)"))
                                   .arg(parser.value(QStringLiteral("timeout")))
                                   .arg(MaxTimeoutSeconds));
    command.replyTimeoutMs = seconds * 1000;
    if (parser.isSet(QStringLiteral("seconds")) && !positiveNumber(parser.value(QStringLiteral("seconds")), command.seconds))
        return usageError(out, out.text(QStringLiteral("无效的秒数: %1"), QStringLiteral("invalid number of seconds: %1"))
                                   .arg(parser.value(QStringLiteral("seconds"))));
    command.json = parser.isSet(QStringLiteral("json"));
    command.dryRun = parser.isSet(QStringLiteral("dry-run"));
    command.reconnect = !parser.isSet(QStringLiteral("no-reconnect")) && readReconnectEnabled();
    command.yes = parser.isSet(QStringLiteral("yes"));
    command.verbose = parser.isSet(QStringLiteral("verbose"));
    return -1;
}

int readCommand(const QCommandLineParser &parser, const CliOutput &out, CommandLine &command)
{
    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return usageError(out, out.text(QStringLiteral("缺少命令"), QStringLiteral("no command given")));
    for (const Grammar &grammar : grammar()) {
        if (!matches(grammar, words))
            continue;
        for (const QString &option : CommandOptions) {
            if (parser.isSet(option) && !grammar.options.contains(option))
                return usageError(out, out.text(QStringLiteral("--%1 不适用于 %2"), QStringLiteral("--%1 does not apply to %2"))
                                           .arg(option, commandName(grammar)));
        }
        command.action = grammar.action;
        if (grammar.words.last() == FileWord)
            command.file = words.last();
        if (grammar.words.last() == KindWord && !calibrationKinds().contains(words.last()))
            return usageError(out, out.text(QStringLiteral("未知的校准: %1 (可用: %2)"),
                                            QStringLiteral("unknown calibration: %1 (known: %2)"))
                                       .arg(words.last(), calibrationKinds().join(QStringLiteral(", "))));
        if (grammar.words.last() == KindWord)
            command.calibration = words.last();
        if (command.action != CommandLine::Action::Ports && command.port.isEmpty())
            return usageError(out, out.text(QStringLiteral("需要 -p PORT"), QStringLiteral("-p PORT is required")));
        return -1;
    }
    return usageError(out, out.text(QStringLiteral("未知命令或参数个数不对: %1"), QStringLiteral("unknown command or wrong number of arguments: %1"))
                               .arg(words.join(QLatin1Char(' '))));
}
}

int parseCommandLine(const QStringList &arguments, const CliOutput &out, CommandLine &command)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description(out));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    addOptions(parser, out);
    parser.addPositionalArgument(QStringLiteral("command"), out.text(QStringLiteral("见上文"), QStringLiteral("See above.")));
    if (!parser.parse(arguments))
        return usageError(out, parser.errorText());
    if (parser.isSet(help)) {
        out.data(parser.helpText().trimmed());
        return ExitCode::Success;
    }
    if (parser.isSet(version)) {
        out.data(QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return ExitCode::Success;
    }
    const int global = readGlobalOptions(parser, out, command);
    return global >= 0 ? global : readCommand(parser, out, command);
}
