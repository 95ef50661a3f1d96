#include "sim/SimDevice.h"

#include "protocol/FrameCodec.h"
#include "sim/SimTelemetry.h"

#include <QVector>

#include <algorithm>
#include <cstring>

namespace {
const quint8 ParamRead = 0xC0;
const quint8 ParamBlockReply = 0xC1;
const quint8 Command = 0x85;
const quint8 CommandReply = 0x86;
const int CommandPayloadSize = 17;

enum SubCommand : quint8 {
    StopMotors = 0x9C,
    GyroBiasUpdate = 0x9D,
    AccelCalibration = 0x8F,
    Activate = 0x90,
    Reboot = 0x91,
    SbusChannels = 0xA0,
    PwmChannels = 0xA1,
    CameraPosition = 0xA2,
    MaxSpeed = 0xA3,
    FpvMode = 0xA4,
    MaxTorque = 0xA5,
    SbusPhotoVideo = 0xA6,
    CrsfChannels = 0xA7,
};
const int AccelSteps = 8;

const quint8 GeneralSet = 0x00;
const quint8 GimbalSet = 0x01;
enum GeneralCommand : quint8 {
    SoftReset = 0x00,
    VersionQuery = 0x01,
    VersionReply = 0x02,
    EraseRequest = 0x03,
    EraseDone = 0x04,
    StartUpgrade = 0x0B,
    StartReply = 0x0C,
    DataPacket = 0x0D,
    DataAck = 0x0E,
    StopUpgrade = 0x0F,
    VerifyResult = 0x10,
};
const quint8 Heartbeat = 0x00;
// Version-1 replies no tool knows, for the flood.
const quint8 UnknownGeneralReply = 0x7E;
const quint8 UnknownGimbalReply = 0x55;

const qint64 UnsolicitedPeriodMs = 250;
const qint64 FloodPeriodMs = 1;
// A tool that has sent no upgrade request and heard no upgrade reply for this
// long has given the upgrade up.
const qint64 UpgradeIdleMs = 2000;
// Longer than any stretch of replies that precedes a quiet line, so that a
// receiver waiting for the whole announced frame waits for good.
const int FalseFrameLength = 400;
const qint64 StallMs = 1000;

quint32 readLe32(const char *data)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(data[i]);
    return value;
}

void appendLe32(QByteArray &out, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((value >> shift) & 0xFF));
}

void appendLe16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

// A channel word: bits 0-14 the channel, bit 15 the direction.
quint8 channelOf(quint32 word)
{
    return quint8(word & 0x7FFF);
}

quint8 directionOf(quint32 word)
{
    return quint8((word >> 15) & 1);
}

// The fields one SBUS or CRSF channel write sets; both share a payload layout.
struct ChannelFields
{
    quint8 &pitch, &pitchDir, &yaw, &yawDir, &lock, &centre, &mode, &roll, &rollDir;
};

ChannelFields sbusChannels(ParamBlock &p)
{
    return {p.sbusPitchCh, p.sbusPitchDir, p.sbusYawCh, p.sbusYawDir, p.sbusLockCh,
            p.sbusCenterCh, p.sbusMode, p.sbusRollCh, p.sbusRollDir};
}

ChannelFields crsfChannels(ParamBlock &p)
{
    return {p.crsfPitchCh, p.crsfPitchDir, p.crsfYawCh, p.crsfYawDir, p.crsfLockCh,
            p.crsfCenterCh, p.crsfMode, p.crsfRollCh, p.crsfRollDir};
}

// para1 pitch word, para2 yaw word, para3 centre << 16 | lock, para4 roll word << 16 | mode.
void applyChannelWrite(const ChannelFields &f, const quint32 para[4])
{
    f.pitch = channelOf(para[0]);
    f.pitchDir = directionOf(para[0]);
    f.yaw = channelOf(para[1]);
    f.yawDir = directionOf(para[1]);
    f.lock = quint8(para[2]);
    f.centre = quint8(para[2] >> 16);
    f.mode = quint8(para[3]);
    f.roll = channelOf(para[3] >> 16);
    f.rollDir = directionOf(para[3] >> 16);
}

// The sync byte, a version-1 length word and its correct header sum: the start
// of a long frame that never follows.
QByteArray falseFrameStart()
{
    const quint16 word = quint16((1 << 10) | FalseFrameLength);
    QByteArray bytes;
    bytes.append(char(FrameFormat::Sync));
    bytes.append(char(word & 0xFF));
    bytes.append(char(word >> 8));
    bytes.append(char(sum8(bytes.constData(), 3)));
    return bytes;
}

// The due times of a fixed-period stream up to `nowMs`. After a long stall the
// stream starts afresh rather than sending a burst of stale frames.
QVector<qint64> takeTicks(qint64 &nextMs, qint64 periodMs, qint64 nowMs)
{
    if (nowMs - nextMs > StallMs)
        nextMs = nowMs;
    QVector<qint64> ticks;
    for (; nextMs <= nowMs; nextMs += periodMs)
        ticks.append(nextMs);
    return ticks;
}

qint64 earliest(qint64 a, qint64 b)
{
    return a < 0 ? b : qMin(a, b);
}

QByteArray commandReply(quint8 subCommand, const QByteArray &extra = {})
{
    return buildFrameV0(CommandReply, QByteArray(1, char(subCommand)) + extra);
}

QByteArray accelProgress(int step)
{
    const float value = float(step);
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray extra;
    appendLe32(extra, bits);
    return commandReply(AccelCalibration, extra);
}
}

ParamBlock defaultSimParams()
{
    ParamBlock p;
    p.sbusPitchCh = 2;
    p.sbusYawCh = 4;
    p.sbusCenterCh = 5;
    p.sbusMode = 1;
    p.pwmPitchCh = 1;
    p.pwmYawCh = 2;
    p.pwmCenterCh = 3;
    p.pwmMode = 1;
    p.cameraPosition = 0;
    p.pitchMaxSpeed = 60;
    p.yawMaxSpeed = 90;
    p.fpvMode = 1;
    p.sbusRollCh = 1;
    p.rollMaxSpeed = 30;
    p.sbusLockCh = 6;
    p.pwmLockCh = 1;
    p.yawMaxTorque = 12000;
    p.rollMaxTorque = 10000;
    p.pitchMaxTorque = 8000;
    p.sbusPhotoCh = 7;
    p.sbusVideoCh = 8;
    p.sbusPitchDir = p.sbusRollDir = p.sbusYawDir = 1;
    p.pwmPitchDir = p.pwmYawDir = 1;
    p.crsfPitchCh = 2;
    p.crsfRollCh = 1;
    p.crsfYawCh = 4;
    p.crsfCenterCh = 5;
    p.crsfLockCh = 6;
    p.crsfMode = 1;
    p.crsfPitchDir = p.crsfRollDir = p.crsfYawDir = 1;
    p.crsfPresent = p.photoVideoPresent = true;
    return p;
}

bool isKnownSubCommand(quint8 subCommand)
{
    if (subCommand >= 0x80 && subCommand <= 0x99)
        return true;
    if (subCommand >= 0x9B && subCommand <= 0x9D)
        return true;
    return subCommand >= 0xA0 && subCommand <= 0xA7;
}

SimDevice::SimDevice(const SimConfig &config, qint64 nowMs)
    : m_config(config),
      m_params(defaultSimParams()),
      m_bootMs(nowMs),
      m_startMs(nowMs),
      m_heartbeatEpochMs(nowMs),
      m_upgradeUnderWayUntilMs(nowMs),
      m_nextUnsolicitedMs(nowMs + UnsolicitedPeriodMs),
      m_nextFloodMs(nowMs),
      m_commandAckEpochMs(nowMs)
{
}

void SimDevice::lineCameBack()
{
    if (m_config.returnFirmwareVersion == 0)
        return;
    m_config.firmwareVersion = m_config.returnFirmwareVersion;
    m_params = defaultSimParams();
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(), [](const Pending &each) { return each.accelStep; }),
                    m_pending.end());
}

void SimDevice::schedule(qint64 atMs, const QByteArray &frame, bool accelStep)
{
    if (m_config.falseSync)
        insertPending(Pending {atMs, falseFrameStart(), accelStep});
    insertPending(Pending {atMs, frame, accelStep});
}

void SimDevice::insertPending(const Pending &pending)
{
    // Kept in time order; frames due at the same moment leave in the order made.
    const auto later = std::upper_bound(m_pending.begin(), m_pending.end(), pending.atMs,
                                        [](qint64 at, const Pending &p) { return at < p.atMs; });
    m_pending.insert(later, pending);
}

void SimDevice::receive(const ParsedFrame &frame, qint64 nowMs)
{
    if (!frame.valid || m_down)
        return;
    if (frame.version == 0)
        handleV0(frame, nowMs);
    else if (frame.commandSet == GeneralSet)
        handleGeneral(frame, nowMs);
}

void SimDevice::handleV0(const ParsedFrame &frame, qint64 nowMs)
{
    if (frame.commandId == ParamRead)
        answerParamRead(nowMs);
    else if (frame.commandId == Command)
        handleCommand(frame.payload, nowMs);
}

void SimDevice::answerParamRead(qint64 nowMs)
{
    const int limit = m_config.silentParamsAfterRead;
    if (limit >= 0 && m_paramReadsAnswered >= limit)
        return;
    ++m_paramReadsAnswered;
    schedule(nowMs, buildFrameV0(ParamBlockReply, paramBlockPayload()));
}

void SimDevice::handleCommand(const QByteArray &payload, qint64 nowMs)
{
    if (payload.size() != CommandPayloadSize)
        return;
    const quint8 subCommand = quint8(payload[0]);
    if (!isKnownSubCommand(subCommand))
        return;
    const quint32 para[4] = {readLe32(payload.constData() + 1), readLe32(payload.constData() + 5),
                             readLe32(payload.constData() + 9), readLe32(payload.constData() + 13)};
    applyWrite(subCommand, para);
    if (subCommand == AccelCalibration) {
        // Its answer is the first progress report, not a plain acknowledgement.
        startAccelCalibration(nowMs);
        return;
    }
    schedule(nowMs, commandReply(subCommand));
    if (subCommand == StopMotors)
        m_motorsOff = true;
    else if (subCommand == Activate || subCommand == Reboot)
        reboot(nowMs);
}

void SimDevice::applyWrite(quint8 subCommand, const quint32 para[4])
{
    ParamBlock &p = m_params;
    switch (subCommand) {
    case SbusChannels:
        applyChannelWrite(sbusChannels(p), para);
        break;
    case CrsfChannels:
        applyChannelWrite(crsfChannels(p), para);
        break;
    case PwmChannels:   // para3 centre, para4 lock << 16 | mode
        p.pwmPitchCh = channelOf(para[0]);
        p.pwmPitchDir = directionOf(para[0]);
        p.pwmYawCh = channelOf(para[1]);
        p.pwmYawDir = directionOf(para[1]);
        p.pwmCenterCh = quint8(para[2]);
        p.pwmMode = quint8(para[3]);
        p.pwmLockCh = quint8(para[3] >> 16);
        break;
    case SbusPhotoVideo:
        p.sbusPhotoCh = quint8(para[0]);
        p.sbusVideoCh = quint8(para[1]);
        break;
    case CameraPosition:
        p.cameraPosition = quint8(para[0]);
        break;
    case MaxSpeed:
        p.pitchMaxSpeed = quint8(para[0]);
        p.yawMaxSpeed = quint8(para[1]);
        p.rollMaxSpeed = quint8(para[2]);
        break;
    case FpvMode:
        p.fpvMode = quint8(para[0]);
        break;
    case MaxTorque:
        p.yawMaxTorque = quint16(para[0]);
        p.rollMaxTorque = quint16(para[1]);
        p.pitchMaxTorque = quint16(para[2]);
        break;
    default:
        break;
    }
}

void SimDevice::startAccelCalibration(qint64 nowMs)
{
    // A new request starts the calibration over.
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(), [](const Pending &p) { return p.accelStep; }),
                    m_pending.end());
    const bool silenced = m_accelCalibrationsStarted++ == 0 && m_config.silentCalibrationAfterStep >= 0;
    const int lastStep = silenced ? m_config.silentCalibrationAfterStep : AccelSteps;
    for (int step = 1; step <= lastStep; ++step)
        schedule(nowMs + qint64(step - 1) * m_config.accelStepMs, accelProgress(step), true);
}

void SimDevice::handleGeneral(const ParsedFrame &frame, qint64 nowMs)
{
    switch (frame.commandId) {
    case SoftReset:
        reboot(nowMs);
        break;
    case VersionQuery: {
        QByteArray reply;
        appendLe32(reply, m_config.bootVersion);
        appendLe32(reply, m_config.firmwareVersion);
        schedule(nowMs, buildFrameV1(GeneralSet, VersionReply, reply));
        break;
    }
    case EraseRequest:
    case StartUpgrade:
    case DataPacket:
    case StopUpgrade:
        keepUpgradeUnderWay(nowMs + UpgradeIdleMs);
        handleUpgrade(frame, nowMs);
        break;
    default:
        break;
    }
}

// Requests may come twice, when the tool resends one whose reply was late: each
// is answered, and a resend leaves the transfer as it was.
void SimDevice::handleUpgrade(const ParsedFrame &frame, qint64 nowMs)
{
    const QByteArray &payload = frame.payload;
    switch (frame.commandId) {
    case EraseRequest:
        m_upgrade.erase();
        replyToUpgrade(UpgradeRequest::Erase, nowMs, nowMs + m_config.eraseMs, buildFrameV1(GeneralSet, EraseDone, {}));
        break;
    case StartUpgrade:
        if (payload.size() >= 5) {
            const quint8 result = m_upgrade.start(readLe32(payload.constData() + 1));
            const qint64 atMs = replyToUpgrade(UpgradeRequest::Start, nowMs, nowMs,
                                               buildFrameV1(GeneralSet, StartReply, QByteArray(1, char(result))));
            if (result != 0)
                m_upgradeUnderWayUntilMs = atMs;
        }
        break;
    case DataPacket:
        if (const auto ack = m_upgrade.packet(frame.sequence, payload)) {
            const QByteArray reply = buildFrameV1(GeneralSet, DataAck, {}, *ack);
            const qint64 atMs = replyToUpgrade(UpgradeRequest::Data, nowMs, nowMs, reply);
            if (m_config.duplicateAcks)
                schedule(atMs, reply);
        }
        break;
    case StopUpgrade: {
        const quint8 result = m_upgrade.stop(frame.sequence);
        m_imageFinished = true;
        if (m_config.resetParamsOnUpgrade && result == SimUpgradeTarget::BothChecksPassed)
            m_params = defaultSimParams();
        m_upgradeUnderWayUntilMs = replyToUpgrade(UpgradeRequest::Stop, nowMs, nowMs,
                                                  buildFrameV1(GeneralSet, VerifyResult, QByteArray(1, char(result))));
        break;
    }
    default:
        break;
    }
}

// Schedules the reply on time, or late if it answers the first request of the
// kind a fault names; returns when it goes out.
qint64 SimDevice::replyToUpgrade(UpgradeRequest request, qint64 nowMs, qint64 onTimeMs, const QByteArray &reply)
{
    qint64 atMs = onTimeMs;
    if (request == m_config.lateReplyTo && !m_lateReplyDone) {
        m_lateReplyDone = true;
        atMs = nowMs + m_config.lateReplyMs;
    }
    schedule(atMs, reply);
    keepUpgradeUnderWay(atMs + UpgradeIdleMs);
    return atMs;
}

void SimDevice::keepUpgradeUnderWay(qint64 untilMs)
{
    m_upgradeUnderWayUntilMs = qMax(m_upgradeUnderWayUntilMs, untilMs);
}

void SimDevice::reboot(qint64 nowMs)
{
    m_rebootUntilMs = nowMs + m_config.rebootMs;
    m_bootMs = m_rebootUntilMs;
    m_motorsOff = false;
    m_down = m_config.stayDownAfterRestart;
}

bool SimDevice::takeFinishedImage(QByteArray &image)
{
    if (!m_imageFinished)
        return false;
    m_imageFinished = false;
    image = m_upgrade.image();
    return true;
}

QByteArray SimDevice::paramBlockPayload() const
{
    const ParamBlock &p = m_params;
    QByteArray out;
    for (quint8 value : {p.sbusPitchCh, p.sbusYawCh, p.sbusCenterCh, p.sbusMode, p.pwmPitchCh, p.pwmYawCh,
                         p.pwmCenterCh, p.pwmMode, p.cameraPosition, p.pitchMaxSpeed, p.yawMaxSpeed, p.fpvMode,
                         p.sbusRollCh, p.rollMaxSpeed, p.sbusLockCh, p.pwmLockCh})
        out.append(char(value));
    appendLe16(out, p.yawMaxTorque);
    appendLe16(out, p.rollMaxTorque);
    appendLe16(out, p.pitchMaxTorque);

    const quint8 directions[] = {p.sbusPitchDir, p.sbusRollDir, p.sbusYawDir, p.pwmPitchDir, p.pwmYawDir};
    if (m_config.paramForm == ParamForm::Photo) {
        out.append(char(p.sbusPhotoCh));
        out.append(char(p.sbusVideoCh));
        out.append(reinterpret_cast<const char *>(directions), sizeof directions);
    } else if (m_config.paramForm == ParamForm::Crsf) {
        out.append(reinterpret_cast<const char *>(directions), sizeof directions);
        for (quint8 value : {p.crsfPitchCh, p.crsfRollCh, p.crsfYawCh, p.crsfCenterCh, p.crsfLockCh, p.crsfMode,
                             p.crsfPitchDir, p.crsfRollDir, p.crsfYawDir})
            out.append(char(value));
    }
    return out;
}

bool SimDevice::inHeartbeatGap(qint64 nowMs) const
{
    if (m_config.heartbeatGapStartMs < 0)
        return false;
    const qint64 sinceStart = nowMs - m_startMs;
    return sinceStart >= m_config.heartbeatGapStartMs
        && sinceStart < qint64(m_config.heartbeatGapStartMs) + m_config.heartbeatGapMs;
}

qint64 SimDevice::heartbeatTime(qint64 index) const
{
    return m_heartbeatEpochMs + index * 1000 / m_config.heartbeatRateHz;
}

void SimDevice::collectHeartbeats(qint64 nowMs, QList<Pending> &due)
{
    if (m_config.heartbeatRateHz <= 0 || m_down)
        return;
    // After a long stall start afresh rather than sending a burst of stale heartbeats.
    if (nowMs - heartbeatTime(m_heartbeatIndex) > 1000) {
        m_heartbeatEpochMs = nowMs;
        m_heartbeatIndex = 0;
    }
    for (qint64 at = heartbeatTime(m_heartbeatIndex); at <= nowMs; at = heartbeatTime(++m_heartbeatIndex)) {
        if (isRebooting(at) || inHeartbeatGap(at))
            continue;
        SimTelemetryState state;
        state.nowMs = at;
        state.sinceBootMs = at - m_bootMs;
        state.motorsOff = m_motorsOff;
        due.append(Pending {at, buildFrameV1(GimbalSet, Heartbeat, heartbeatPayload(state, m_config.heartbeatLength)),
                            false});
    }
}

void SimDevice::collectUnsolicitedReplies(qint64 nowMs, QList<Pending> &due)
{
    if (!m_config.unsolicitedUpgradeReplies)
        return;
    for (const qint64 at : takeTicks(m_nextUnsolicitedMs, UnsolicitedPeriodMs, nowMs)) {
        if (at < m_upgradeUnderWayUntilMs)
            continue;
        for (const QByteArray &frame : {buildFrameV1(GeneralSet, EraseDone, {}),
                                        buildFrameV1(GeneralSet, StartReply, QByteArray(1, '\0')),
                                        buildFrameV1(GeneralSet, DataAck, {}, m_unsolicitedSequence++),
                                        buildFrameV1(GeneralSet, VerifyResult, QByteArray(1, '\x03'))})
            due.append(Pending {at, frame, false});
    }
}

void SimDevice::collectFlood(qint64 nowMs, QList<Pending> &due)
{
    if (!m_config.unknownFlood)
        return;
    for (const qint64 at : takeTicks(m_nextFloodMs, FloodPeriodMs, nowMs)) {
        const bool general = m_floodCount++ % 2 == 0;
        due.append(Pending {at, general ? buildFrameV1(GeneralSet, UnknownGeneralReply, {})
                                        : buildFrameV1(GimbalSet, UnknownGimbalReply, {}),
                            false});
    }
}

qint64 SimDevice::commandAckTime(qint64 index) const
{
    return m_commandAckEpochMs + index * 1000 / m_config.commandAckRateHz;
}

void SimDevice::collectCommandAcks(qint64 nowMs, QList<Pending> &due)
{
    if (m_config.commandAckRateHz <= 0)
        return;
    if (nowMs - commandAckTime(m_commandAckIndex) > StallMs) {
        m_commandAckEpochMs = nowMs;
        m_commandAckIndex = 0;
    }
    for (qint64 at = commandAckTime(m_commandAckIndex); at <= nowMs; at = commandAckTime(++m_commandAckIndex))
        due.append(Pending {at, commandReply(GyroBiasUpdate), false});
}

QList<QByteArray> SimDevice::takeDue(qint64 nowMs)
{
    QList<Pending> due;
    while (!m_pending.isEmpty() && m_pending.first().atMs <= nowMs)
        due.append(m_pending.takeFirst());
    collectHeartbeats(nowMs, due);
    collectUnsolicitedReplies(nowMs, due);
    collectFlood(nowMs, due);
    collectCommandAcks(nowMs, due);
    std::stable_sort(due.begin(), due.end(), [](const Pending &a, const Pending &b) { return a.atMs < b.atMs; });
    QList<QByteArray> frames;
    for (const Pending &p : due)
        frames.append(p.frame);
    return frames;
}

qint64 SimDevice::nextDueMs() const
{
    qint64 next = m_pending.isEmpty() ? -1 : m_pending.first().atMs;
    if (m_config.heartbeatRateHz > 0)
        next = earliest(next, heartbeatTime(m_heartbeatIndex));
    if (m_config.unsolicitedUpgradeReplies)
        next = earliest(next, m_nextUnsolicitedMs);
    if (m_config.unknownFlood)
        next = earliest(next, m_nextFloodMs);
    if (m_config.commandAckRateHz > 0)
        next = earliest(next, commandAckTime(m_commandAckIndex));
    return next;
}
