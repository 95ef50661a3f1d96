#include "cli/ParamsCommands.h"

#include "app/StandardLocations.h"
#include "service/ParamWrites.h"
#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"
#include "cli/ParamsLoad.h"
#include "cli/PendingRestarts.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {
const int NameWidth = 24;

QString row(const QString &name, const QString &value)
{
    return QStringLiteral("%1 %2").arg(name, -NameWidth).arg(value);
}
}

ParamsCommands::ParamsCommands(DeviceSession &session, const QString &port, int baud)
    : m_session(session), m_port(port), m_baud(baud)
{
}

int ParamsCommands::connectAndRead()
{
    const int opened = m_session.open(m_port, m_baud);
    return opened != ExitCode::Success ? opened : m_session.readDevice();
}

ParamFile::Contents ParamsCommands::deviceContents() const
{
    return paramFileContentsOf(m_session.bridge());
}

int ParamsCommands::info(bool json)
{
    const int read = connectAndRead();
    if (read != ExitCode::Success)
        return read;
    const ParamFile::Contents contents = deviceContents();
    if (json) {
        m_session.out().data(QString::fromUtf8(ParamFile::toJson(contents)).trimmed());
        return ExitCode::Success;
    }
    m_session.out().data(row(QStringLiteral("port"), m_port + QStringLiteral(" @ ") + QString::number(m_baud)));
    m_session.out().data(row(QStringLiteral("firmware"), contents.firmwareVersion));
    m_session.out().data(row(QStringLiteral("boot"), contents.bootVersion));
    m_session.out().data(row(QStringLiteral("paramForm"), paramBlockFormName(contents.form)));
    printBlock(contents);
    return ExitCode::Success;
}

int ParamsCommands::get(bool json)
{
    const int read = connectAndRead();
    if (read != ExitCode::Success)
        return read;
    const ParamFile::Contents contents = deviceContents();
    if (json)
        m_session.out().data(QString::fromUtf8(ParamFile::toJson(contents)).trimmed());
    else
        printBlock(contents);
    return ExitCode::Success;
}

void ParamsCommands::printBlock(const ParamFile::Contents &contents) const
{
    for (const QString &field : ParamFile::fieldNames(contents.form))
        m_session.out().data(row(field, QString::number(ParamFile::value(contents.block, field))));
}

int ParamsCommands::save(const QString &path)
{
    const int read = connectAndRead();
    if (read != ExitCode::Success)
        return read;
    QString error;
    if (!ParamFile::save(path, deviceContents(), error)) {
        m_session.out().error(m_session.out().text(QStringLiteral("无法写入 %1: %2").arg(path, error),
                                                   QStringLiteral("cannot write %1: %2").arg(path, error)));
        return ExitCode::Usage;
    }
    m_session.out().note(m_session.out().text(QStringLiteral("参数已保存到 %1").arg(path),
                                              QStringLiteral("Parameters saved to %1").arg(path)));
    return ExitCode::Success;
}

bool ParamsCommands::readFile(const QString &path, ParamFile::Contents &contents) const
{
    ParamFile::Problem problem;
    if (ParamFile::load(path, contents, problem))
        return true;
    m_session.out().error(m_session.out().text(problem.describe(path)));
    return false;
}

bool ParamsCommands::matchesDeviceForm(const QString &path, const ParamFile::Contents &contents) const
{
    const ParamBlockForm deviceForm = paramBlockFormOf(m_session.bridge().parameters().block());
    if (contents.form == deviceForm)
        return true;
    const ParamFile::Problem problem = formMismatch(contents, deviceForm);
    m_session.out().error(m_session.out().text(problem.describe(path)));
    return false;
}

// The file is checked whole before the port is even opened.
int ParamsCommands::targetOf(const QString &path, ParamBlock &target)
{
    ParamFile::Contents contents;
    if (!readFile(path, contents))
        return ExitCode::Usage;
    const int read = connectAndRead();
    if (read != ExitCode::Success)
        return read;
    if (!matchesDeviceForm(path, contents))
        return ExitCode::Usage;
    target = m_session.bridge().parameters().block();
    ParamFile::applyTo(target, contents);
    return ExitCode::Success;
}

void ParamsCommands::printChanges(const QVector<ParamFile::Change> &changes) const
{
    for (const ParamFile::Change &change : changes)
        m_session.out().data(QStringLiteral("%1: %2 -> %3").arg(change.field).arg(change.from).arg(change.to));
    if (changes.isEmpty())
        m_session.out().note(m_session.out().text(noDifferencesText()));
}

int ParamsCommands::diff(const QString &path)
{
    ParamBlock target;
    const int prepared = targetOf(path, target);
    if (prepared != ExitCode::Success)
        return prepared;
    const ParamBlock &device = m_session.bridge().parameters().block();
    printChanges(ParamFile::differences(device, target, paramBlockFormOf(device)));
    return ExitCode::Success;
}

int ParamsCommands::load(const QString &path, bool dryRun, bool yes)
{
    ParamBlock target;
    const int prepared = targetOf(path, target);
    if (prepared != ExitCode::Success)
        return prepared;
    const ParamBlock device = m_session.bridge().parameters().block();
    const ParamBlockForm form = paramBlockFormOf(device);
    printChanges(ParamFile::differences(device, target, form));
    if (!m_session.out().dataFailure().isEmpty())
        return ExitCode::Usage;
    const AppBridge &bridge = m_session.bridge();
    const PendingRestarts pending(QDir(dataDirectory()).filePath(QStringLiteral("pending-restarts")), m_port,
                                  {bridge.tavoxFirmwareVersion(), bridge.tavoxBootVersion()},
                                  CliOutput::commandLine(loadCommand(path, yes)));
    announceUnreadable(pending);
    announceForeign(pending);
    const QVector<ParamWrite> repairs = pending.writesFor(form);
    announceRepairs(repairs, pending.path());
    const QVector<ParamWrite> writes = inWriteOrder(planParamWrites(device, target, form) + repairs);
    if (dryRun || writes.isEmpty())
        return ExitCode::Success;
    const int allowed = allowedToRestart(writes, yes);
    if (allowed != ExitCode::Success)
        return allowed;
    return ParamsLoad(m_session, pending, loadCommand(path, yes)).run(writes, repairs, target);
}

void ParamsCommands::announceRepairs(const QVector<ParamWrite> &repairs, const QString &recordPath) const
{
    const CliOutput &out = m_session.out();
    for (ParamWrite repair : repairs)
        out.note(out.text(QStringLiteral("此串口上次的加载可能未能使%1生效 (见 %2): 将重新写入并使其生效"),
                          QStringLiteral("An earlier load on this port may not have applied %1 (see %2): it is "
                                         "written again and applied"))
                     .arg(out.text(paramWriteName(repair)), QDir::toNativeSeparators(recordPath)));
}

void ParamsCommands::announceUnreadable(const PendingRestarts &pending) const
{
    if (pending.unreadable().isEmpty())
        return;
    const CliOutput &out = m_session.out();
    out.error(out.text(QStringLiteral("无法读取此串口的重启记录 %1 (%2): 视为所有会重启控制器的写入都未生效"),
                       QStringLiteral("cannot read the record of restarts owed on this port, %1 (%2): every write "
                                      "that restarts the controller is taken as not applied"))
                  .arg(QDir::toNativeSeparators(pending.path()), pending.unreadable()));
}

// Restarts owed to another controller are its own: never made to this one,
// never crossed off by it. This load's own writes are recorded apart from
// them, so it goes on.
void ParamsCommands::announceForeign(const PendingRestarts &pending) const
{
    const CliOutput &out = m_session.out();
    const AppBridge &bridge = m_session.bridge();
    for (const PendingRestarts::Foreign &owed : pending.foreign())
        out.note(out.text(QStringLiteral("此串口上次的加载欠另一台控制器 (固件 %1，引导程序 %2) 的重启，不会对当前应答的控制器 "
                                         "(固件 %3，引导程序 %4) 进行; 记录 %5 保留。连接那台控制器后运行以下命令即可修复:\n  %6"),
                          QStringLiteral("An earlier load on this port owes restarts to another controller (firmware "
                                         "%1, boot %2), not to the one answering (firmware %3, boot %4): they are not "
                                         "made here and their record %5 stays. Connect that controller and run:\n  %6"))
                     .arg(owed.controller.firmware, owed.controller.boot, bridge.tavoxFirmwareVersion(),
                          bridge.tavoxBootVersion(), QDir::toNativeSeparators(owed.path), owed.command));
}

QStringList ParamsCommands::loadCommand(const QString &path, bool yes) const
{
    QStringList words{QStringLiteral("tavoxctl"), QStringLiteral("-p"), m_port, QStringLiteral("-b"),
                      QString::number(m_baud), QStringLiteral("params"), QStringLiteral("load"),
                      QFileInfo(path).absoluteFilePath()};
    if (yes)
        words.append(QStringLiteral("--yes"));
    return words;
}

// Returns Success, or the exit code after saying why nothing was written.
int ParamsCommands::allowedToRestart(const QVector<ParamWrite> &writes, bool yes)
{
    const CliOutput &out = m_session.out();
    if (yes || std::none_of(writes.begin(), writes.end(), rebootsController))
        return ExitCode::Success;
    if (!CliOutput::stdinIsTerminal()) {
        out.error(out.text(QStringLiteral("这些写入会重启控制器; 请加 --yes 确认 (标准输入不是终端)。未写入任何内容。"),
                           QStringLiteral("these writes restart the controller; confirm with --yes (standard input is "
                                          "not a terminal). Nothing was written.")));
        return ExitCode::Usage;
    }
    if (m_session.confirm(out.text(QStringLiteral("这些写入会重启控制器。继续吗? [y/N]"),
                                   QStringLiteral("These writes restart the controller. Continue? [y/N]"))))
        return ExitCode::Success;
    if (m_session.wasInterrupted()) {
        out.error(out.text(QStringLiteral("已中断，未写入任何内容"), QStringLiteral("interrupted; nothing was written")));
        return ExitCode::Interrupted;
    }
    out.error(out.text(QStringLiteral("未确认，未写入任何内容"), QStringLiteral("not confirmed; nothing was written")));
    return ExitCode::Usage;
}
