#include "cli/ParamsCommands.h"

#include "bridge/ParamWrites.h"
#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"

#include <algorithm>

namespace {
// After a restart that the bridge does not follow with reads of its own (the
// torque write), give the controller the time the window gives it after a
// channel write before asking for its block.
const int RestartSettleMs = 3000;
const int NameWidth = 24;

QString row(const QString &name, const QString &value)
{
    return QStringLiteral("%1 %2").arg(name, -NameWidth).arg(value);
}
}

ParamsCommands::ParamsCommands(DeviceSession &session, const QString &port, int baud)
    : m_session(session), m_port(port), m_baud(baud)
{
    QObject::connect(&m_session.bridge(), &AppBridge::tavoxParamsChanged, &m_session, [this] { ++m_paramsChanges; });
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
    const ParamBlockForm deviceForm = paramBlockFormOf(m_session.bridge().paramBlock());
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
    target = m_session.bridge().paramBlock();
    ParamFile::applyTo(target, contents);
    return ExitCode::Success;
}

void ParamsCommands::printChanges(const QVector<ParamFile::Change> &changes) const
{
    for (const ParamFile::Change &change : changes)
        m_session.out().data(QStringLiteral("%1: %2 -> %3").arg(change.field).arg(change.from).arg(change.to));
    if (changes.isEmpty())
        m_session.out().note(m_session.out().text(QStringLiteral("没有差异: 控制器的参数与文件一致"),
                                                  QStringLiteral("No differences: the controller holds the file's values")));
}

int ParamsCommands::diff(const QString &path)
{
    ParamBlock target;
    const int prepared = targetOf(path, target);
    if (prepared != ExitCode::Success)
        return prepared;
    const ParamBlock &device = m_session.bridge().paramBlock();
    printChanges(ParamFile::differences(device, target, paramBlockFormOf(device)));
    return ExitCode::Success;
}

int ParamsCommands::load(const QString &path, bool dryRun, bool yes)
{
    ParamBlock target;
    const int prepared = targetOf(path, target);
    if (prepared != ExitCode::Success)
        return prepared;
    const ParamBlock device = m_session.bridge().paramBlock();
    const ParamBlockForm form = paramBlockFormOf(device);
    printChanges(ParamFile::differences(device, target, form));
    const QVector<ParamWrite> writes = planParamWrites(device, target, form);
    if (dryRun || writes.isEmpty())
        return ExitCode::Success;
    if (!allowedToRestart(writes, yes))
        return ExitCode::Usage;
    for (ParamWrite each : writes) {
        const int written = write(each, target);
        if (written != ExitCode::Success)
            return written;
    }
    return verify(target, writes.last() == ParamWrite::Torque);
}

bool ParamsCommands::allowedToRestart(const QVector<ParamWrite> &writes, bool yes)
{
    const CliOutput &out = m_session.out();
    if (yes || std::none_of(writes.begin(), writes.end(), rebootsController))
        return true;
    if (!CliOutput::stdinIsTerminal()) {
        out.error(out.text(QStringLiteral("这些写入会重启控制器; 请加 --yes 确认 (标准输入不是终端)。未写入任何内容。"),
                           QStringLiteral("these writes restart the controller; confirm with --yes (standard input is "
                                          "not a terminal). Nothing was written.")));
        return false;
    }
    if (m_session.confirm(out.text(QStringLiteral("这些写入会重启控制器。继续吗? [y/N]"),
                                   QStringLiteral("These writes restart the controller. Continue? [y/N]"))))
        return true;
    out.error(out.text(QStringLiteral("未确认，未写入任何内容"), QStringLiteral("not confirmed; nothing was written")));
    return false;
}

// A write the port did not take changes nothing in the bridge, so the count of
// parameter changes tells whether it went out.
int ParamsCommands::write(ParamWrite write, const ParamBlock &target)
{
    const CliOutput &out = m_session.out();
    const QString what = describe(write);
    out.note(rebootsController(write) ? out.text(QStringLiteral("写入%1 (控制器将重启)...").arg(what),
                                                 QStringLiteral("Writing %1 (the controller restarts)...").arg(what))
                                      : out.text(QStringLiteral("写入%1...").arg(what), QStringLiteral("Writing %1...").arg(what)));
    const int before = m_paramsChanges;
    applyParamWrite(m_session.bridge(), write, target);
    if (m_paramsChanges == before) {
        out.error(out.text(QStringLiteral("串口未接受%1的写入").arg(what), QStringLiteral("the port did not take the write of %1").arg(what)));
        return ExitCode::PortFailure;
    }
    return m_session.failure(m_session.waitForFollowUps(), QString());
}

QString ParamsCommands::describe(ParamWrite write) const
{
    return m_session.out().text(paramWriteName(write));
}

int ParamsCommands::verify(const ParamBlock &target, bool lastWriteRestarted)
{
    const CliOutput &out = m_session.out();
    const int reread = m_session.rereadParams(lastWriteRestarted ? RestartSettleMs : 0);
    if (reread != ExitCode::Success)
        return reread;
    const ParamBlock &device = m_session.bridge().paramBlock();
    const QVector<ParamFile::Change> mismatches = ParamFile::differences(target, device, paramBlockFormOf(device));
    for (const ParamFile::Change &mismatch : mismatches)
        out.error(out.text(QStringLiteral("控制器未采用 %1: 写入 %2，读回 %3"),
                           QStringLiteral("the controller did not take %1: wrote %2, reads back %3"))
                      .arg(mismatch.field).arg(mismatch.from).arg(mismatch.to));
    if (!mismatches.isEmpty())
        return ExitCode::ControllerRefused;
    out.note(out.text(QStringLiteral("参数已写入并核对"), QStringLiteral("Parameters written and verified")));
    return ExitCode::Success;
}
