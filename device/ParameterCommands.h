#pragma once

#include "device/ChannelSettings.h"
#include "device/CommandPacking.h"
#include "device/DeviceLink.h"
#include "device/MessageSink.h"
#include "device/ParamBlock.h"
#include "device/ParamWritePlan.h"

#include <QObject>

#include <functional>

// The controller's parameters as the tool keeps them: read from the controller,
// written channel map by channel map with the activation and reboot that apply
// a map, and the command replies, the accelerometer calibration's progress
// among them. A write is refused while the link is closed, and kept only once
// the port took it.
class ParameterCommands : public QObject
{
    Q_OBJECT

public:
    // While one lives, a restart is followed by none of the timed reads of the
    // block: its owner reads the block itself once the controller is back.
    class RestartReadsTaken
    {
    public:
        explicit RestartReadsTaken(ParameterCommands &commands) : m_commands(commands) { ++m_commands.m_restartReadsTaken; }
        ~RestartReadsTaken() { --m_commands.m_restartReadsTaken; }
        RestartReadsTaken(const RestartReadsTaken &) = delete;
        RestartReadsTaken &operator=(const RestartReadsTaken &) = delete;

    private:
        ParameterCommands &m_commands;
    };

    ParameterCommands(DeviceLink &link, MessageSink &messages, QObject *parent = nullptr);

    const ParamBlock &block() const { return m_params; }
    // The PWM receiver has no roll channel: the window shows the pitch channel's.
    int pwmRollCh() const { return m_pwmRollCh; }
    int pwmLockCh() const { return m_pwmLockCh; }
    // Parameter blocks accepted from the controller since construction; a write's own update does not count.
    int blocksReceived() const { return m_blocksReceived; }
    // -1 before the first progress report.
    int accelCaliState() const { return m_accelCaliState; }
    // The progress of a calibration run the operator no longer follows is
    // still tracked, but not reported in the log.
    void setAccelProgressReported(bool reported) { m_accelProgressReported = reported; }

    void readParams();
    void handleParamBlock(const QByteArray &payload);
    void handleCommandReply(const QByteArray &payload);

    void writeChannels(Receiver receiver, const ChannelSettings &settings);
    void writeDirections(Receiver receiver, int pitchDir, int rollDir, int yawDir);
    void writePhotoVideoChannels(int photoCh, int videoCh);
    // Reported as written only when the port took both frames.
    void writeGimbalConfig(int fpvMode, int pitchSpeed, int rollSpeed, int yawSpeed);
    void writeCameraPosition(int position);
    void writeTorque(int pitchTorque, int rollTorque, int yawTorque);

    // What the writes sent so far still need before the controller applies
    // them: an activation or restart that was timed but has not gone out. A
    // link that ends first leaves it owed, since the controller keeps the
    // written values unapplied.
    OwedRestart owedRestart() const;
    // The owed steps pass to whoever keeps them across the link's loss.
    OwedRestart takeOwedRestart();
    // Sends what `owed` needs, now, with the same spacing and re-reads as after a write.
    void settleOwedRestart(OwedRestart owed);

    // Called with the sub-command byte of every command reply, after it was
    // handled: the only sign that a command without a visible effect (a
    // calibration) was answered.
    using CommandReplyObserver = std::function<void(quint8 subCommand)>;
    void setCommandReplyObserver(CommandReplyObserver observer);

signals:
    void paramsChanged();
    void accelCaliStateChanged();
    // A restart went out: the controller is gone until it starts again.
    void restartSent();

private:
    void reportWritten(const TextPair &text);
    void logParamBlockReceived(const QByteArray &payload, const ParamBlock &decoded);
    bool sendCommand(const CommandWords &command);
    void logCrsfWrite(const ChannelSettings &settings, const CommandWords &command);
    void activateAfterWrite();
    void rebootAfterActivate();
    void rebootAfterTorque();
    void reportCommandReply(const QByteArray &payload);
    void handleAccelProgress(const QByteArray &payload);

    DeviceLink &m_link;
    MessageSink &m_messages;
    ParamBlock m_params;
    int m_pwmRollCh = 1;
    int m_pwmLockCh = 1;
    int m_blocksReceived = 0;
    // Activations and restarts timed after a write and not sent yet.
    int m_activationsDue = 0;
    int m_rebootsDue = 0;
    qint32 m_accelCaliState = -1;
    bool m_accelProgressReported = true;
    int m_restartReadsTaken = 0;
    CommandReplyObserver m_commandReplyObserver;
};
