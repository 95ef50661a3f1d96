#include "window/CalibrationGuide.h"

#include "bridge/AppBridge.h"
#include "device/SubCommands.h"

namespace {
class BridgeCalibrationDevice : public CalibrationDevice
{
public:
    BridgeCalibrationDevice(AppBridge &bridge, QObject *parent)
        : CalibrationDevice(parent)
        , m_bridge(bridge)
    {
        connect(&bridge, &AppBridge::accelCaliStateChanged, this, &CalibrationDevice::accelCaliReported);
        connect(&bridge, &AppBridge::serialOpenedChanged, this, &CalibrationDevice::linkOpenChanged);
        connect(&bridge, &AppBridge::languageChanged, this, &CalibrationDevice::languageSwitched);
        bridge.parameters().setCommandReplyObserver([this](quint8 subCommand) {
            if (subCommand == SubCommand::Activate)
                emit activationAcknowledged();
            else if (subCommand == SubCommand::Reboot)
                emit restartAcknowledged();
        });
    }

    bool linkOpen() const override { return m_bridge.serialOpened(); }
    int accelCaliState() const override { return m_bridge.accelCaliState(); }
    QString localized(const QString &zh, const QString &en) const override
    {
        return m_bridge.languageSetting().localized(zh, en);
    }
    void requestAccelCalibration() override { m_bridge.tavoxSendCalibration(AccelCalibrationCommand); }
    void setProgressLogged(bool logged) override { m_bridge.parameters().setAccelProgressReported(logged); }

private:
    AppBridge &m_bridge;
};
}

CalibrationGuide::CalibrationGuide(QObject *parent)
    : QObject(parent)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(DefaultTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &CalibrationGuide::onTimeout);
}

CalibrationGuide *CalibrationGuide::overBridge(AppBridge &bridge, QObject *parent)
{
    auto *guide = new CalibrationGuide(parent);
    guide->setSource(new BridgeCalibrationDevice(bridge, guide));
    connect(guide, &CalibrationGuide::logMessage, &bridge.messages(),
            [&bridge](const QString &text) { bridge.messages().append(text); });
    return guide;
}

void CalibrationGuide::setSource(CalibrationDevice *source)
{
    if (source == m_source)
        return;
    if (m_source) {
        disconnect(m_source, nullptr, this, nullptr);
        m_source->setProgressLogged(true);
    }
    m_source = source;
    if (source) {
        connect(source, &CalibrationDevice::accelCaliReported, this, &CalibrationGuide::onProgress);
        connect(source, &CalibrationDevice::linkOpenChanged, this, &CalibrationGuide::onOpenedChanged);
        connect(source, &CalibrationDevice::languageSwitched, this, &CalibrationGuide::changed);
        connect(source, &CalibrationDevice::activationAcknowledged, this, [this] { noteApplied(Activated); });
        connect(source, &CalibrationDevice::restartAcknowledged, this, [this] { noteApplied(Restarted); });
    }
    m_timeout.stop();
    m_step = -1;
    m_interruptedAt.reset();
    m_unfollowedRunGoesOn = false;
    m_unfollowedRunFinished = false;
    setState(Idle);
    emit sourceChanged();
}

void CalibrationGuide::setTimeoutMs(int ms)
{
    if (ms == m_timeout.interval())
        return;
    m_timeout.setInterval(ms);
    emit timeoutMsChanged();
}

int CalibrationGuide::doneCount() const
{
    return qBound(0, m_step - 1, FaceCount);
}

QString CalibrationGuide::localized(const QString &zh, const QString &en) const
{
    return m_source ? m_source->localized(zh, en) : en;
}

bool CalibrationGuide::sourceOpened() const
{
    return m_source && m_source->linkOpen();
}

QString CalibrationGuide::instruction() const
{
    switch (m_state) {
    case Idle:
        return QString();
    case Waiting:
        return localized(QStringLiteral("○ 等待设备响应..."), QStringLiteral("○ Waiting for device..."));
    case Placing:
        return faceInstruction();
    case Computing:
        return localized(QStringLiteral("○ 正在计算校准参数..."), QStringLiteral("○ Calculating..."));
    case Succeeded:
        return resultInstruction();
    case TimedOut: {
        const int seconds = (m_timeout.interval() + 999) / 1000;
        return localized(QStringLiteral("%1 秒内没有收到设备的校准进度。请检查设备和连接线，然后点击 重试。"),
                         QStringLiteral("No progress from the device for %1 s. Check the device and the cable, "
                                        "then click Retry."))
            .arg(seconds);
    }
    case Interrupted:
        return localized(QStringLiteral("✕ %1。连接恢复后请点击 重试。"),
                         QStringLiteral("✕ %1. Click Retry once the link is back."))
            .arg(interruption());
    }
    return QString();
}

// A result moves on as the controller acknowledges its activation and restart.
QString CalibrationGuide::resultInstruction() const
{
    switch (m_applied) {
    case NotApplied:
        break;
    case Activated:
        return localized(QStringLiteral("✓ 已激活，请点击 重启"), QStringLiteral("✓ Activated. Click Restart"));
    case Restarted:
        return localized(QStringLiteral("✓ 校准已生效，控制器已重启"), QStringLiteral("✓ Calibration applied; the controller restarted"));
    }
    return localized(QStringLiteral("✓ 校准完成！请点击 激活 → 重启"), QStringLiteral("✓ Done! Click Activate → Restart"));
}

// An Activate before the result, or a restart acknowledged before it was activated, applies nothing new.
void CalibrationGuide::noteApplied(Applied step)
{
    if (m_state != Succeeded || (step == Restarted && m_applied != Activated) || step == m_applied)
        return;
    m_applied = step;
    emit changed();
}

QString CalibrationGuide::interruption() const
{
    if (!m_interruptedAt)
        return QString();
    const TextPair where = whereInterrupted();
    return localized(QStringLiteral("校准%1中断：连接已断开").arg(where.zh),
                     QStringLiteral("Interrupted %1: the link ended").arg(where.en));
}

TextPair CalibrationGuide::whereInterrupted() const
{
    const int step = m_interruptedAt.value_or(-1);
    if (step >= 1 && step <= FaceCount)
        return { QStringLiteral("在第 %1 面（共 6 面）时").arg(step), QStringLiteral("at face %1 of 6").arg(step) };
    if (step == ComputingStep)
        return { QStringLiteral("在计算校准参数时"), QStringLiteral("while calculating") };
    return { QStringLiteral("在第一面之前"), QStringLiteral("before the first face") };
}

QString CalibrationGuide::faceInstruction() const
{
    switch (m_step) {
    case 1:
        return localized(QStringLiteral("● 请将设备正放（上）面朝上"), QStringLiteral("● Place device UP"));
    case 2:
        return localized(QStringLiteral("● 请将设备朝前放置"), QStringLiteral("● Place device FRONT"));
    case 3:
        return localized(QStringLiteral("● 请将设备倒放（下）面朝上"), QStringLiteral("● Place device DOWN"));
    case 4:
        return localized(QStringLiteral("● 请将设备朝后放置"), QStringLiteral("● Place device BACK"));
    case 5:
        return localized(QStringLiteral("● 请将设备朝左放置"), QStringLiteral("● Place device LEFT"));
    case 6:
        return localized(QStringLiteral("● 请将设备朝右放置"), QStringLiteral("● Place device RIGHT"));
    default:
        return QString();
    }
}

bool CalibrationGuide::start()
{
    if (!m_source)
        return false;
    const bool opened = sourceOpened();
    // Without a port the bridge sends nothing and tells the operator why.
    m_source->requestAccelCalibration();
    if (!opened)
        return false;
    m_interruptedAt.reset();
    m_unfollowedRunGoesOn = false;
    m_unfollowedRunFinished = false;
    m_source->setProgressLogged(true);
    // Every run begins with face 1. When the last report was already 1 (a run
    // that fell silent, was cancelled or was interrupted there), the bridge
    // does not signal that first report again: show the face now rather than
    // wait for it in vain.
    const bool firstFaceUnsignalled = m_source->accelCaliState() == 1;
    m_step = firstFaceUnsignalled ? 1 : -1;
    m_timeout.start();
    setState(firstFaceUnsignalled ? Placing : Waiting);
    return true;
}

void CalibrationGuide::close()
{
    if (m_state == Idle)
        return;
    const bool cancelled = underWay();
    if (cancelled) {
        stopFollowing();
        m_interruptedAt.reset();
    }
    m_timeout.stop();
    m_step = -1;
    setState(Idle);
    if (cancelled) {
        emit logMessage(localized(QStringLiteral("已取消加速度计校准。控制器没有停止校准的指令，本次校准之后的进度将被忽略。"),
                                  QStringLiteral("Accelerometer calibration cancelled. The controller has no command "
                                                 "to stop it; further progress of this run is ignored.")));
    }
}

// Reports in the range 1 to 8 are followed, whether in order or not; after a
// silence, a late report takes the guide back to following the run.
void CalibrationGuide::onProgress()
{
    const int reported = m_source->accelCaliState();
    if (m_unfollowedRunGoesOn) {
        if (reported != SucceededStep || m_unfollowedRunFinished)
            return;
        m_unfollowedRunFinished = true;
        // After the report has been taken in, once the bridge's signal is through.
        QMetaObject::invokeMethod(this, &CalibrationGuide::noteUnfollowedRunFinished, Qt::QueuedConnection);
        return;
    }
    if (!underWay())
        return;
    if (reported < 1 || reported > SucceededStep)
        return;
    m_step = reported;
    if (reported == SucceededStep) {
        m_timeout.stop();
        setState(Succeeded);
        return;
    }
    m_timeout.start();
    setState(reported == ComputingStep ? Computing : Placing);
}

// A result stays the operator's; a run still under way is cut off from them.
void CalibrationGuide::onOpenedChanged()
{
    if (sourceOpened())
        return;
    if (underWay()) {
        interrupt();
    } else if (m_state == Succeeded) {
        m_step = -1;
        setState(Idle);
    }
}

void CalibrationGuide::interrupt()
{
    m_timeout.stop();
    m_interruptedAt = m_step;
    stopFollowing();
    setState(Interrupted);
    const TextPair where = whereInterrupted();
    emit logMessage(localized(
        QStringLiteral("加速度计校准%1中断：连接已断开。控制器可能仍在继续这次校准，其后续进度将被忽略；"
                       "连接恢复后请点击 重试。")
            .arg(where.zh),
        QStringLiteral("Accelerometer calibration interrupted %1: the link ended. The controller may go on with that "
                       "run; its further progress is ignored. Click Retry once the link is back.")
            .arg(where.en)));
}

// The controller may go on with the run without the operator.
void CalibrationGuide::stopFollowing()
{
    m_unfollowedRunGoesOn = true;
    m_source->setProgressLogged(false);
    m_unfollowedRunFinished = false;
}

void CalibrationGuide::noteUnfollowedRunFinished()
{
    if (m_interruptedAt) {
        emit logMessage(localized(
            QStringLiteral("控制器完成了被中断的那次加速度计校准。该结果在点击 激活 → 重启 之前不会生效；"
                           "如需校准，请重新开始加速度计校准。"),
            QStringLiteral("The controller finished the accelerometer calibration that was interrupted. Its result "
                           "is not applied until Activate → Restart; to calibrate, start Accel Calib again.")));
        return;
    }
    emit logMessage(localized(
        QStringLiteral("控制器完成了已取消的那次加速度计校准。该结果在点击 激活 → 重启 之前不会生效；"
                       "如需校准，请重新开始加速度计校准。"),
        QStringLiteral("The controller finished the accelerometer calibration that was cancelled. Its result is "
                       "not applied until Activate → Restart; to calibrate, start Accel Calib again.")));
}

void CalibrationGuide::onTimeout()
{
    if (!running())
        return;
    setState(TimedOut);
    emit logMessage(instruction());
}

void CalibrationGuide::setState(State state)
{
    if (state != Succeeded)
        m_applied = NotApplied;
    m_state = state;
    emit changed();
}
