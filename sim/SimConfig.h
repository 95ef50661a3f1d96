#pragma once

#include <QtGlobal>

// Which of the three parameter block layouts the simulated firmware answers with.
enum class ParamForm { Base, Photo, Crsf };

// The upgrade requests whose reply a fault can hold back.
enum class UpgradeRequest { None, Erase, Start, Data, Stop };

// Everything that shapes the simulated controller's behaviour. Fault fields
// that name a packet count upgrade data packets from 0; -1 switches them off.
struct SimConfig
{
    ParamForm paramForm = ParamForm::Crsf;
    int heartbeatRateHz = 20;
    int heartbeatLength = 61;
    quint32 firmwareVersion = 0x0100003C;   // 1.0.0.60
    quint32 bootVersion = 0x01000002;       // 1.0.0.2
    int accelStepMs = 800;
    int eraseMs = 300;
    int rebootMs = 1000;
    qint64 flashSize = 1024 * 1024;

    int wrongSeqPacket = -1;
    int dropAckPacket = -1;
    int silentAfterPacket = -1;
    bool sizeExceeded = false;
    bool failSignature = false;
    bool failMd5 = false;

    // The reply to the first request of this kind (for data: the first packet)
    // goes out lateReplyMs after the request instead of on time; a resend of the
    // request is answered as usual.
    UpgradeRequest lateReplyTo = UpgradeRequest::None;
    int lateReplyMs = 0;
    bool duplicateAcks = false;
    // Upgrade replies every 250 ms while no upgrade is under way.
    bool unsolicitedUpgradeReplies = false;
    // A frame start announcing a long frame that never comes, before every reply.
    bool falseSync = false;
    // About 1000 version-1 replies a second that no tool knows.
    bool unknownFlood = false;
    // Acknowledgements of a command nobody sent (Gyro Bias Update), this many a
    // second; 0 switches them off. The tool logs every one.
    int commandAckRateHz = 0;
    // No heartbeat for heartbeatGapMs from heartbeatGapStartMs after the
    // simulator started; -1 switches it off. Everything else goes on.
    int heartbeatGapStartMs = -1;
    int heartbeatGapMs = 0;
    // The first accelerometer calibration reports steps 1 to this one and then
    // nothing more; a calibration requested after it runs through. -1 switches it off.
    int silentCalibrationAfterStep = -1;
    // Parameter reads after the first this many go unanswered; -1 switches it off.
    int silentParamsAfterRead = -1;
    // From the first activation or restart on, no heartbeat and no reply: a
    // controller that does not come back.
    bool stayDownAfterRestart = false;
    // A verified upgrade puts the parameters back to the firmware's defaults,
    // as firmware that changes the block's layout does.
    bool resetParamsOnUpgrade = false;
    // A line that comes back after a hang-up brings another controller: this
    // firmware version and its parameters at the defaults. 0: the same one.
    quint32 returnFirmwareVersion = 0;
};
