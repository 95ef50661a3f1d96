#include "service/ParamRestore.h"

#include "bridge/AppBridge.h"
#include "service/LinkReadings.h"
#include "service/ParamFieldNames.h"
#include "service/ParamWrites.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

ParamRestore::ParamRestore(AppBridge &bridge, QObject *parent)
    : QAbstractListModel(parent), m_bridge(bridge), m_readBack(bridge)
{
    connect(&m_readBack, &ParamReadBack::arrived, this, &ParamRestore::onBlockRead);
    connect(&m_readBack, &ParamReadBack::timedOut, this, [this] {
        fail(QStringLiteral("控制器没有回复参数块，无法核对"), QStringLiteral("No parameter block from the controller; nothing verified"));
    });
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, [this] { ++m_paramsChanges; });
    connect(&bridge, &AppBridge::serialOpenedChanged, this, &ParamRestore::onLinkClosed);
    connect(&bridge, &AppBridge::languageChanged, this, &ParamRestore::relabel);
    connect(&bridge.serialLink().session(), &LinkSession::scheduledCountChanged, this, &ParamRestore::afterFollowUps);
}

int ParamRestore::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

QVariant ParamRestore::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case FieldRole:
        return row.field;
    case DeviceValueRole:
        return row.deviceValue;
    case FileValueRole:
        return row.fileValue;
    case CheckedRole:
        return row.checked;
    case VerificationRole:
        return row.verification;
    case LabelRole: {
        const TextPair label = paramFieldPlace(row.field).label;
        return m_bridge.languageSetting().localized(label.zh, label.en);
    }
    case DeviceTextRole:
        return valueText(row, row.deviceValue);
    case FileTextRole:
        return valueText(row, row.fileValue);
    case DeviceInRangeRole:
        return row.inRange(row.deviceValue);
    case FileInRangeRole:
        return row.inRange(row.fileValue);
    case RangeRole:
        return ParamRanges::of(row.field).text();
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> ParamRestore::roleNames() const
{
    return {{FieldRole, "field"}, {DeviceValueRole, "deviceValue"}, {FileValueRole, "fileValue"},
            {CheckedRole, "checked"}, {VerificationRole, "verification"}, {LabelRole, "label"},
            {DeviceTextRole, "deviceText"}, {FileTextRole, "fileText"}, {DeviceInRangeRole, "deviceInRange"},
            {FileInRangeRole, "fileInRange"}, {RangeRole, "range"}};
}

QString ParamRestore::valueText(const Row &row, int value) const
{
    const TextPair text = paramValueText(row.field, value);
    return m_bridge.languageSetting().localized(text.zh, text.en);
}

void ParamRestore::relabel()
{
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(m_rows.size() - 1), {LabelRole, DeviceTextRole, FileTextRole});
    emit changed();
}

QString ParamRestore::statusText() const
{
    return m_bridge.languageSetting().localized(m_status.zh, m_status.en);
}

void ParamRestore::report(const QString &zh, const QString &en)
{
    m_status = {zh, en};
    m_bridge.messages().report(Message::info(zh, en));
    emit changed();
}

int ParamRestore::checkedCount() const
{
    return int(std::count_if(m_rows.begin(), m_rows.end(), [](const Row &row) { return row.checked; }));
}

bool ParamRestore::selectionRestartsController() const
{
    const QVector<ParamWrite> writes = plannedWrites();
    return std::any_of(writes.begin(), writes.end(), rebootsController);
}

void ParamRestore::chooseFile()
{
    if (!m_chooseFile || m_state == Writing || m_state == Verifying)
        return;
    const QString title = m_bridge.languageSetting().localized(QStringLiteral("恢复参数"), QStringLiteral("Restore parameters"));
    const TextPair filter = paramFileFilter();
    const QString path = m_chooseFile(FileDialogMode::Open, title, paramFileFolder(), m_bridge.languageSetting().localized(filter.zh, filter.en));
    if (!path.isEmpty())
        openFile(path);
}

// The table compares with the controller's own values, so they must be the
// attached controller's: read since the port was last opened.
bool ParamRestore::controllerKnown()
{
    if (!m_bridge.tavoxRequireSerial())
        return false;
    if (paramsReadOnThisLink(m_bridge))
        return true;
    if (m_bridge.parameters().blocksReceived() > 0)
        report(QStringLiteral("显示的参数读取于重新打开串口之前，请先读取当前控制器的参数"),
               QStringLiteral("The values shown were read before the port was opened again; read the attached controller's parameters first"));
    else
        report(QStringLiteral("请先读取控制器的参数"), QStringLiteral("Read the controller's parameters first"));
    return false;
}

bool ParamRestore::openFile(const QString &path)
{
    if (m_state == Writing || m_state == Verifying)
        return false;
    ParamFile::Contents contents;
    ParamFile::Problem problem;
    if (!ParamFile::load(path, contents, problem)) {
        clear();
        const TextPair text = problem.describe(QDir::toNativeSeparators(path));
        report(QStringLiteral("无法恢复参数: ") + text.zh, QStringLiteral("Cannot restore parameters: ") + text.en);
        return false;
    }
    rememberParamFileFolder(m_bridge, path);
    return showContents(contents, QFileInfo(path).fileName());
}

bool ParamRestore::showContents(const ParamFile::Contents &contents, const QString &sourceName)
{
    clear();
    if (!controllerKnown())
        return false;
    const ParamBlock &device = m_bridge.parameters().block();
    const ParamBlockForm deviceForm = paramBlockFormOf(device);
    if (contents.form != deviceForm) {
        const TextPair text = formMismatch(contents, deviceForm).describe(sourceName);
        report(QStringLiteral("无法恢复参数: ") + text.zh, QStringLiteral("Cannot restore parameters: ") + text.en);
        return false;
    }
    ParamBlock target = device;
    ParamFile::applyTo(target, contents);
    beginResetModel();
    m_file = contents;
    m_sourceName = sourceName;
    m_tableLinkGeneration = m_bridge.serialLink().session().generation();
    for (const ParamFile::Change &change : ParamFile::differences(device, target, deviceForm)) {
        Row row {change.field, change.from, change.to};
        row.checked = row.inRange(row.fileValue);
        m_rows.append(row);
    }
    endResetModel();
    m_status = differencesText();
    setState(Ready);
    emit opened();
    return true;
}

TextPair ParamRestore::differencesText() const
{
    if (m_rows.isEmpty())
        return noDifferencesText();
    const int count = m_rows.size();
    TextPair text {QStringLiteral("%1 项不同").arg(count),
                   (count == 1 ? QStringLiteral("%1 field differs") : QStringLiteral("%1 fields differ")).arg(count)};
    const int outside = int(std::count_if(m_rows.begin(), m_rows.end(), [](const Row &row) { return !row.inRange(row.fileValue); }));
    if (outside > 0) {
        text.zh += QStringLiteral("；其中 %1 项的文件值超出允许范围，不会写入").arg(outside);
        text.en += (outside == 1 ? QStringLiteral("; %1 file value is outside its allowed range and is not written")
                                 : QStringLiteral("; %1 file values are outside their allowed ranges and are not written"))
                       .arg(outside);
    }
    return text;
}

// A file's value the controller is not built for is never written.
void ParamRestore::setChecked(int row, bool checked)
{
    if (row < 0 || row >= m_rows.size() || m_state != Ready || m_rows[row].checked == checked)
        return;
    if (checked && !m_rows[row].inRange(m_rows[row].fileValue))
        return;
    m_rows[row].checked = checked;
    emit dataChanged(index(row), index(row), {CheckedRole});
    emit changed();
}

void ParamRestore::clear()
{
    if (m_state == Writing || m_state == Verifying)
        return;
    beginResetModel();
    m_rows.clear();
    m_sourceName.clear();
    endResetModel();
    m_status = {};
    setState(Empty);
}

ParamBlock ParamRestore::selectedTarget() const
{
    ParamBlock target = m_bridge.parameters().block();
    for (const Row &row : m_rows) {
        if (row.checked)
            ParamFile::setValue(target, row.field, row.fileValue);
    }
    return target;
}

QVector<ParamWrite> ParamRestore::plannedWrites() const
{
    if (m_rows.isEmpty())
        return {};
    const ParamBlock &device = m_bridge.parameters().block();
    return planParamWrites(device, selectedTarget(), paramBlockFormOf(device));
}

void ParamRestore::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit changed();
}

void ParamRestore::writeSelected()
{
    if (m_state != Ready || checkedCount() == 0 || !m_bridge.tavoxRequireSerial())
        return;
    if (!tableOfThisLink() || !selectionInRange())
        return;
    m_target = selectedTarget();
    m_writes = plannedWrites();
    for (Row &row : m_rows)
        row.verification = row.checked ? Pending : NotChecked;
    emit dataChanged(index(0), index(m_rows.size() - 1), {VerificationRole});
    m_restartReads = std::make_unique<ParameterCommands::RestartReadsTaken>(m_bridge.parameters());
    setState(Writing);
    writeNext();
}

// The rows hold the values of the controller the table was laid out against;
// written to another one they would carry that controller's settings along.
bool ParamRestore::tableOfThisLink()
{
    if (m_tableLinkGeneration == m_bridge.serialLink().session().generation())
        return true;
    clear();
    report(QStringLiteral("差异表是针对重新打开串口前的控制器的，未写入任何参数；请重新打开文件"),
           QStringLiteral("The table was laid out for the controller attached before the port was opened again; nothing was written. Open the file again"));
    return false;
}

// A write sends its whole group: a field left unticked goes out with the
// controller's own value, which may itself be one the controller is not built for.
bool ParamRestore::selectionInRange()
{
    const ParamBlock target = selectedTarget();
    const QString field = fieldWrittenOutsideRange(plannedWrites(), target, paramBlockFormOf(target));
    if (field.isEmpty())
        return true;
    const TextPair label = paramFieldPlace(field).label;
    const int value = ParamFile::value(target, field);
    const TextPair range = ParamRanges::outOfRange(value, ParamRanges::of(field));
    report(QStringLiteral("未写入任何参数: %1 (%2) 也会被发送: %3").arg(label.zh, field, range.zh),
           QStringLiteral("Nothing was written: %1 (%2) would be sent too: %3").arg(label.en, field, range.en));
    return false;
}

// A write the port did not take changes nothing in the bridge, so the count of
// parameter changes tells whether it went out.
void ParamRestore::writeNext()
{
    if (m_state != Writing)
        return;
    m_restart.reset();
    if (m_writes.isEmpty()) {
        startReadBack();
        return;
    }
    const ParamWrite write = m_writes.takeFirst();
    m_writing = paramWriteName(write);
    m_status = {QStringLiteral("正在写入%1…").arg(m_writing.zh), QStringLiteral("Writing %1…").arg(m_writing.en)};
    emit changed();
    if (rebootsController(write)) {
        m_restart = std::make_unique<RestartWatch>(m_bridge, ReadTimeoutMs);
        // Queued: the restore may end, and drop the watch, on what it says.
        connect(m_restart.get(), &RestartWatch::settled, this, &ParamRestore::afterFollowUps, Qt::QueuedConnection);
    }
    const int before = m_paramsChanges;
    applyParamWrite(m_bridge, write, m_target);
    if (m_paramsChanges == before) {
        fail(QStringLiteral("串口未接受%1的写入").arg(m_writing.zh), QStringLiteral("The port did not take the write of %1").arg(m_writing.en));
        return;
    }
    m_waitingForFollowUps = true;
    afterFollowUps();
}

// After a restart the controller's block is read before anything more is
// written to it; after the last write the verifying read is that read.
void ParamRestore::afterFollowUps()
{
    if (!m_waitingForFollowUps || !m_bridge.serialOpened() || m_bridge.serialLink().session().scheduledCount() > 0)
        return;
    if (m_restart && (restartFailed() || !m_restart->isBack()))
        return;
    m_waitingForFollowUps = false;
    if (m_restart && !m_writes.isEmpty())
        m_readBack.start(ReadTimeoutMs);
    else
        QMetaObject::invokeMethod(this, &ParamRestore::writeNext, Qt::QueuedConnection);
}

bool ParamRestore::restartFailed()
{
    if (!m_restart->restartSent())
        fail(QStringLiteral("%1的重启指令未能发出").arg(m_writing.zh), QStringLiteral("The restart after %1 could not be sent").arg(m_writing.en));
    else if (m_restart->isOverdue())
        fail(QStringLiteral("控制器重启后没有回来，无法核对"), QStringLiteral("The controller did not come back after its restart; nothing verified"));
    else
        return false;
    return true;
}

void ParamRestore::onBlockRead()
{
    if (m_state == Writing)
        writeNext();
    else
        finishVerification();
}

void ParamRestore::startReadBack()
{
    setState(Verifying);
    m_status = {QStringLiteral("正在读回参数以核对…"), QStringLiteral("Reading the parameters back to verify…")};
    emit changed();
    m_readBack.start(ReadTimeoutMs);
}

void ParamRestore::finishVerification()
{
    if (m_state != Verifying)
        return;
    const ParamBlock &device = m_bridge.parameters().block();
    int differing = 0;
    QStringList matching;
    for (Row &row : m_rows) {
        row.deviceValue = ParamFile::value(device, row.field);
        if (row.checked) {
            row.verification = row.deviceValue == row.fileValue ? Matches : Differs;
            differing += row.verification == Differs;
            if (row.verification == Matches)
                matching.append(row.field);
        }
    }
    m_restartReads.reset();
    emit dataChanged(index(0), index(m_rows.size() - 1), {DeviceValueRole, VerificationRole});
    // An edit of a restored field would write the old value over the restore.
    if (!matching.isEmpty())
        emit restored(matching);
    if (differing > 0) {
        fail(QStringLiteral("%1 项未被控制器采用").arg(differing),
             QStringLiteral("The controller did not take %1 of the fields").arg(differing));
        return;
    }
    setState(Verified);
    const int count = checkedCount();
    report(QStringLiteral("已恢复并核对 %1 项参数").arg(count),
           (count == 1 ? QStringLiteral("%1 parameter restored and verified")
                       : QStringLiteral("%1 parameters restored and verified")).arg(count));
}

void ParamRestore::onLinkClosed()
{
    if (!m_bridge.serialOpened() && (m_state == Writing || m_state == Verifying))
        fail(QStringLiteral("串口已断开，恢复未完成"), QStringLiteral("The serial port closed; the restore did not finish"));
}

void ParamRestore::fail(const QString &zh, const QString &en)
{
    m_readBack.stop();
    m_writes.clear();
    m_waitingForFollowUps = false;
    m_restart.reset();
    m_restartReads.reset();
    setState(Failed);
    report(zh, en);
}
