#pragma once

#include "device/ParamBlock.h"
#include "protocol/ParsedFrame.h"
#include "sim/SimConfig.h"
#include "sim/SimUpgradeTarget.h"

#include <QByteArray>
#include <QList>

// The simulated gimbal controller without any I/O: it is handed checked frames
// and the time, and hands back the frames it sends and when. Time is any
// monotonic millisecond count chosen by the caller.
class SimDevice
{
public:
    explicit SimDevice(const SimConfig &config, qint64 nowMs = 0);
    SimDevice(const SimDevice &) = delete;
    SimDevice &operator=(const SimDevice &) = delete;

    void receive(const ParsedFrame &frame, qint64 nowMs);
    // Every frame due by `nowMs`, oldest first; replies and heartbeats alike.
    QList<QByteArray> takeDue(qint64 nowMs);
    // When the next frame falls due; -1 when nothing is pending and no heartbeats run.
    qint64 nextDueMs() const;

    const ParamBlock &params() const { return m_params; }
    bool isRebooting(qint64 nowMs) const { return nowMs < m_rebootUntilMs; }
    bool inHeartbeatGap(qint64 nowMs) const;
    // The image of the transfer that has just been stopped, once.
    bool takeFinishedImage(QByteArray &image);
    // The line came back after a hang-up. With a return firmware configured,
    // another controller is on it now: its own version and parameters, and
    // none of the first one's calibration under way.
    void lineCameBack();

private:
    struct Pending
    {
        qint64 atMs;
        QByteArray frame;
        bool accelStep;
    };

    void schedule(qint64 atMs, const QByteArray &frame, bool accelStep = false);
    void insertPending(const Pending &pending);
    void handleV0(const ParsedFrame &frame, qint64 nowMs);
    void answerParamRead(qint64 nowMs);
    void handleCommand(const QByteArray &payload, qint64 nowMs);
    void applyWrite(quint8 subCommand, const quint32 para[4]);
    void startAccelCalibration(qint64 nowMs);
    void handleGeneral(const ParsedFrame &frame, qint64 nowMs);
    void handleUpgrade(const ParsedFrame &frame, qint64 nowMs);
    qint64 replyToUpgrade(UpgradeRequest request, qint64 nowMs, qint64 onTimeMs, const QByteArray &reply);
    void keepUpgradeUnderWay(qint64 untilMs);
    void reboot(qint64 nowMs);
    QByteArray paramBlockPayload() const;
    qint64 heartbeatTime(qint64 index) const;
    void collectHeartbeats(qint64 nowMs, QList<Pending> &due);
    void collectUnsolicitedReplies(qint64 nowMs, QList<Pending> &due);
    void collectFlood(qint64 nowMs, QList<Pending> &due);
    qint64 commandAckTime(qint64 index) const;
    void collectCommandAcks(qint64 nowMs, QList<Pending> &due);

    SimConfig m_config;
    ParamBlock m_params;
    SimUpgradeTarget m_upgrade {m_config};
    QList<Pending> m_pending;
    qint64 m_bootMs = 0;
    qint64 m_startMs = 0;
    qint64 m_rebootUntilMs = 0;
    qint64 m_heartbeatEpochMs = 0;
    qint64 m_heartbeatIndex = 0;
    bool m_motorsOff = false;
    bool m_down = false;
    bool m_imageFinished = false;
    bool m_lateReplyDone = false;
    int m_accelCalibrationsStarted = 0;
    int m_paramReadsAnswered = 0;
    qint64 m_upgradeUnderWayUntilMs = 0;
    qint64 m_nextUnsolicitedMs = 0;
    quint16 m_unsolicitedSequence = 0;
    qint64 m_nextFloodMs = 0;
    qint64 m_floodCount = 0;
    qint64 m_commandAckEpochMs = 0;
    qint64 m_commandAckIndex = 0;
};

// Realistic factory settings of the controller.
ParamBlock defaultSimParams();
// Sub-commands the controller knows; it stays silent on any other.
bool isKnownSubCommand(quint8 subCommand);
