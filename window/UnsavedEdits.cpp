#include "window/UnsavedEdits.h"

#include "bridge/AppBridge.h"
#include "log/elog.h"
#include "window/FieldEdits.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
// Which panel's Write sends which write; the channel panel's pages each send their own.
struct WriteOfPanel
{
    const char *panel;
    const char *fields;
    ParamWrite write;
};

const WriteOfPanel PanelWrites[] = {
    {"camera", "", ParamWrite::CameraPosition},
    {"gimbal", "", ParamWrite::GimbalConfig},
    {"channel", "sbus", ParamWrite::SbusChannels},
    {"channel", "pwm", ParamWrite::PwmChannels},
    {"channel", "crsf", ParamWrite::CrsfChannels},
    {"torque", "", ParamWrite::Torque},
};

TextPair panelTitle(const QString &panel)
{
    if (panel == QLatin1String("camera"))
        return {QStringLiteral("相机"), QStringLiteral("Camera")};
    if (panel == QLatin1String("gimbal"))
        return {QStringLiteral("云台"), QStringLiteral("Gimbal")};
    if (panel == QLatin1String("channel"))
        return {QStringLiteral("通道"), QStringLiteral("Channels")};
    if (panel == QLatin1String("torque"))
        return {QStringLiteral("力矩"), QStringLiteral("Torque")};
    return {panel, panel};
}
}

UnsavedEdits::UnsavedEdits(AppBridge &bridge, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
{
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, [this] { ++m_paramsChanges; });
    connect(&bridge, &AppBridge::languageChanged, this, &UnsavedEdits::changed);
    connect(&bridge.serialLink().session(), &LinkSession::scheduledCountChanged, this, &UnsavedEdits::afterFollowUps);
    connect(&bridge, &AppBridge::serialOpenedChanged, this, [this] {
        if (writing() && !m_bridge.serialOpened())
            fail(QStringLiteral("串口已断开，未写入的修改仍保留"), QStringLiteral("The port closed; the unwritten changes are kept"));
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &UnsavedEdits::logUnwritten);
}

void UnsavedEdits::watch(FieldEdits *edits)
{
    if (!edits)
        return;
    m_panels.removeAll(QPointer<FieldEdits>());
    m_panels.append(edits);
    connect(edits, &FieldEdits::changed, this, &UnsavedEdits::onEditsChanged);
    onEditsChanged();
}

QVector<FieldEdits *> UnsavedEdits::editedPanels() const
{
    QVector<FieldEdits *> edited;
    for (const QPointer<FieldEdits> &edits : m_panels) {
        if (edits && edits->count() > 0)
            edited.append(edits);
    }
    return edited;
}

int UnsavedEdits::count() const
{
    int total = 0;
    for (const FieldEdits *edits : editedPanels())
        total += edits->count();
    return total;
}

QString UnsavedEdits::panelName(const FieldEdits &edits) const
{
    return m_bridge.languageSetting().localized(panelTitle(edits.property("panel").toString()));
}

QString UnsavedEdits::summary() const
{
    QStringList names;
    for (const FieldEdits *edits : editedPanels())
        names << panelName(*edits);
    if (names.isEmpty())
        return QString();
    return m_bridge.languageSetting()
        .localized(QStringLiteral("%1 项未写入：%2"), QStringLiteral("%1 unsaved: %2"))
        .arg(count())
        .arg(names.join(m_bridge.languageSetting().localized(QStringLiteral("、"), QStringLiteral(", "))));
}

QString UnsavedEdits::details() const
{
    QStringList lines;
    const QString colon = m_bridge.languageSetting().localized(QStringLiteral("："), QStringLiteral(": "));
    for (const FieldEdits *edits : editedPanels())
        lines << panelName(*edits) + colon + edits->editedSummary(m_bridge.languageSetting().code());
    if (restartsController())
        lines << m_bridge.languageSetting().localized(QStringLiteral("写入后控制器会重启，电机会短暂停止。"),
                                                      QStringLiteral("Writing restarts the controller; its motors stop for a moment."));
    return lines.join(QLatin1Char('\n'));
}

bool UnsavedEdits::restartsController() const
{
    const QVector<ParamWrite> writes = pendingWrites();
    return std::any_of(writes.cbegin(), writes.cend(), rebootsController);
}

bool UnsavedEdits::madeForOtherController() const
{
    const QVector<FieldEdits *> edited = editedPanels();
    return std::any_of(edited.cbegin(), edited.cend(), [](const FieldEdits *edits) { return edits->madeForOtherController(); });
}

QVector<ParamWrite> UnsavedEdits::pendingWrites() const
{
    QVector<ParamWrite> writes;
    for (const FieldEdits *edits : editedPanels()) {
        const QString panel = edits->property("panel").toString();
        const QStringList fields = edits->editedFields();
        for (const WriteOfPanel &each : PanelWrites) {
            const QString prefix = QLatin1String(each.fields);
            const bool touched = std::any_of(fields.cbegin(), fields.cend(),
                                             [&prefix](const QString &field) { return field.startsWith(prefix); });
            if (panel == QLatin1String(each.panel) && touched)
                writes.append(each.write);
        }
    }
    return inWriteOrder(writes);
}

UnsavedEdits::Unit UnsavedEdits::unitOf(ParamWrite write) const
{
    for (const WriteOfPanel &each : PanelWrites) {
        if (each.write != write)
            continue;
        for (const QPointer<FieldEdits> &edits : m_panels) {
            if (edits && edits->property("panel").toString() == QLatin1String(each.panel))
                return {edits, QLatin1String(each.fields)};
        }
    }
    return {};
}

void UnsavedEdits::onEditsChanged()
{
    const bool otherController = madeForOtherController();
    const bool newlyMarked = otherController && !m_otherController;
    m_otherController = otherController;
    emit changed();
    if (newlyMarked)
        emit otherControllerAnswered();
}

void UnsavedEdits::discard()
{
    for (FieldEdits *edits : editedPanels())
        edits->revert();
}

void UnsavedEdits::writeAll()
{
    if (writing() || !m_bridge.tavoxRequireSerial())
        return;
    m_queue = pendingWrites();
    emit changed();
    writeNext();
}

// A write the port did not take changes nothing in the bridge, so the count of
// parameter changes tells whether it went out.
void UnsavedEdits::writeNext()
{
    if (m_queue.isEmpty()) {
        emit changed();
        emit written();
        return;
    }
    const Unit unit = unitOf(m_queue.first());
    const int before = m_paramsChanges;
    if (unit.edits)
        emit writeRequested(unit.edits->property("panel").toString(), unit.fields);
    if (m_queue.isEmpty())
        return;
    if (m_paramsChanges == before || !unit.edits) {
        fail(QStringLiteral("%1的修改未能写入，其余修改仍保留").arg(unit.edits ? panelName(*unit.edits) : QString()),
             QStringLiteral("The %1 changes were not written; the rest are kept").arg(unit.edits ? panelName(*unit.edits) : QString()));
        return;
    }
    m_queue.removeFirst();
    m_waitingForFollowUps = true;
    afterFollowUps();
}

void UnsavedEdits::afterFollowUps()
{
    if (!m_waitingForFollowUps || m_bridge.serialLink().session().scheduledCount() > 0)
        return;
    m_waitingForFollowUps = false;
    QMetaObject::invokeMethod(this, &UnsavedEdits::writeNext, Qt::QueuedConnection);
}

void UnsavedEdits::refuse(const QString &reason)
{
    fail(QStringLiteral("未写入：%1").arg(reason), QStringLiteral("Not written: %1").arg(reason));
}

void UnsavedEdits::fail(const QString &zh, const QString &en)
{
    m_queue.clear();
    m_waitingForFollowUps = false;
    m_bridge.messages().report(Message::error(zh, en));
    emit changed();
    emit writeFailed();
}

void UnsavedEdits::logUnwritten() const
{
    QStringList lines;
    for (const FieldEdits *edits : editedPanels())
        lines << QStringLiteral("%1: %2").arg(panelTitle(edits->property("panel").toString()).en, edits->editedSummary(QStringLiteral("en")));
    if (lines.isEmpty())
        return;
    elog_output(ELOG_LVL_WARN, "window", nullptr, nullptr, 0, "Closed with changes not written to the controller: %s",
                lines.join(QStringLiteral("; ")).toUtf8().constData());
}
