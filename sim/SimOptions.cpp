#include "sim/SimOptions.h"

#include "protocol/Pcapng.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStringList>

#include <limits>

namespace {
struct IntOption
{
    const char *name;
    int *target;
    int minimum;
    int maximum;
};

bool readInt(const QCommandLineParser &parser, const IntOption &option, QString &error)
{
    const QString name = QLatin1String(option.name);
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < option.minimum || value > option.maximum) {
        error = QStringLiteral("--%1 takes a whole number from %2 to %3").arg(name).arg(option.minimum).arg(option.maximum);
        return false;
    }
    *option.target = value;
    return true;
}

bool readParamForm(const QCommandLineParser &parser, ParamForm &form, QString &error)
{
    const QString value = parser.value(QStringLiteral("param-form"));
    if (value == QLatin1String("base"))
        form = ParamForm::Base;
    else if (value == QLatin1String("photo"))
        form = ParamForm::Photo;
    else if (value == QLatin1String("crsf"))
        form = ParamForm::Crsf;
    else {
        error = QStringLiteral("--param-form takes base, photo or crsf");
        return false;
    }
    return true;
}

bool readVerifyFault(const QCommandLineParser &parser, SimConfig &config, QString &error)
{
    if (!parser.isSet(QStringLiteral("fault-verify")))
        return true;
    const QString value = parser.value(QStringLiteral("fault-verify"));
    config.failSignature = value == QLatin1String("sig") || value == QLatin1String("both");
    config.failMd5 = value == QLatin1String("md5") || value == QLatin1String("both");
    if (!config.failSignature && !config.failMd5) {
        error = QStringLiteral("--fault-verify takes sig, md5 or both");
        return false;
    }
    return true;
}

bool readLateReply(const QCommandLineParser &parser, SimConfig &config, QString &error)
{
    const QString name = QStringLiteral("fault-late-reply");
    if (!parser.isSet(name))
        return true;
    const QStringList parts = parser.value(name).split(QLatin1Char(':'));
    const QStringList kinds {QStringLiteral("erase"), QStringLiteral("start"), QStringLiteral("data"),
                             QStringLiteral("stop")};
    const int kind = parts.size() == 2 ? kinds.indexOf(parts[0]) : -1;
    bool ok = false;
    const int ms = parts.value(1).toInt(&ok);
    if (kind < 0 || !ok || ms < 0 || ms > 600000) {
        error = QStringLiteral("--fault-late-reply takes erase, start, data or stop, a colon and a delay of 0 to 600000 ms,"
                               " such as erase:2000");
        return false;
    }
    const UpgradeRequest requests[] = {UpgradeRequest::Erase, UpgradeRequest::Start, UpgradeRequest::Data,
                                       UpgradeRequest::Stop};
    config.lateReplyTo = requests[kind];
    config.lateReplyMs = ms;
    return true;
}

bool readHeartbeatGap(const QCommandLineParser &parser, SimConfig &config, QString &error)
{
    const QString name = QStringLiteral("fault-heartbeat-gap");
    if (!parser.isSet(name))
        return true;
    const QStringList parts = parser.value(name).split(QLatin1Char(':'));
    bool startOk = false;
    bool lengthOk = false;
    const int start = parts.value(0).toInt(&startOk);
    const int length = parts.value(1).toInt(&lengthOk);
    if (parts.size() != 2 || !startOk || !lengthOk || start < 0 || start > 600000 || length < 0 || length > 600000) {
        error = QStringLiteral("--fault-heartbeat-gap takes a start and a length of 0 to 600000 ms, such as 2000:2500");
        return false;
    }
    config.heartbeatGapStartMs = start;
    config.heartbeatGapMs = length;
    return true;
}

bool readHangupCommand(const QCommandLineParser &parser, HostOptions &host, QString &error)
{
    const QString name = QStringLiteral("fault-hangup-on-command");
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const uint subCommand = parser.value(name).toUInt(&ok, 16);
    if (!ok || subCommand > 0xFF) {
        error = QStringLiteral("--fault-hangup-on-command takes a sub-command byte in hex, such as a0");
        return false;
    }
    host.hangupOnSubCommand = int(subCommand);
    return true;
}

bool readVersion(const QCommandLineParser &parser, const char *name, quint32 &word, QString &error)
{
    if (!parser.isSet(QLatin1String(name)) || parseDottedVersion(parser.value(QLatin1String(name)), word))
        return true;
    error = QStringLiteral("--%1 takes four dotted numbers such as 1.0.0.60").arg(QLatin1String(name));
    return false;
}

bool readReplaySpeed(const QCommandLineParser &parser, HostOptions &host, QString &error)
{
    const QString name = QStringLiteral("replay-speed");
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    host.replaySpeed = parser.value(name).toDouble(&ok);
    if (!ok || !(host.replaySpeed > 0) || host.replaySpeed > 1000) {
        error = QStringLiteral("--replay-speed takes a number above 0 up to 1000, such as 2");
        return false;
    }
    return true;
}

// The recording takes the model's place: the model sends no heartbeats of its own.
bool readReplay(const QCommandLineParser &parser, SimOptions &options, QString &error)
{
    const QString path = parser.value(QStringLiteral("replay"));
    if (path.isEmpty()) {
        const bool stray = parser.isSet(QStringLiteral("replay-speed")) || parser.isSet(QStringLiteral("replay-strict"));
        if (stray)
            error = QStringLiteral("--replay-speed and --replay-strict need --replay");
        return !stray;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("--replay cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const Pcapng::Recording recording = Pcapng::read(file.readAll());
    if (!recording.error.isEmpty() || recording.packets.isEmpty()) {
        const QString reason = recording.error.isEmpty() ? QStringLiteral("it holds no packets") : recording.error;
        error = QStringLiteral("--replay takes a recording of the link; %1 is none: %2").arg(path, reason);
        return false;
    }
    options.host.replay = recording.packets;
    options.host.replayStrict = parser.isSet(QStringLiteral("replay-strict"));
    options.device.heartbeatRateHz = 0;
    return readReplaySpeed(parser, options.host, error);
}

bool readNumbers(const QCommandLineParser &parser, SimOptions &options, QString &error)
{
    SimConfig &c = options.device;
    const int maxInt = std::numeric_limits<int>::max();
    int flashSize = int(c.flashSize);
    const IntOption ints[] = {
        {"hb-rate", &c.heartbeatRateHz, 0, 1000},
        {"hb-len", &c.heartbeatLength, 22, 61},
        {"accel-step-ms", &c.accelStepMs, 0, 600000},
        {"erase-ms", &c.eraseMs, 0, 600000},
        {"reboot-ms", &c.rebootMs, 0, 600000},
        {"flash-size", &flashSize, 0, maxInt},
        {"fault-wrong-seq", &c.wrongSeqPacket, 0, maxInt},
        {"fault-drop-ack", &c.dropAckPacket, 0, maxInt},
        {"fault-silent-after", &c.silentAfterPacket, 0, maxInt},
        {"fault-hangup-after", &options.link.hangupAfterMs, 0, 600000},
        {"fault-return-after", &options.link.returnAfterMs, 0, 600000},
        {"fault-silent-calibration", &c.silentCalibrationAfterStep, 0, 7},
        {"fault-silent-params-after", &c.silentParamsAfterRead, 0, maxInt},
        {"fault-bad-crc", &options.host.badCrcEvery, 1, maxInt},
        {"fault-command-acks", &c.commandAckRateHz, 0, 1000},
        {"baud", &options.link.baud, 1, 100000000},
    };
    for (const IntOption &option : ints) {
        if (!readInt(parser, option, error))
            return false;
    }
    c.flashSize = flashSize;
    if (options.link.returnAfterMs >= 0 && options.link.hangupAfterMs < 0 && options.host.hangupOnSubCommand < 0) {
        error = QStringLiteral("--fault-return-after needs --fault-hangup-after or --fault-hangup-on-command");
        return false;
    }
    if (c.returnFirmwareVersion != 0 && options.link.returnAfterMs < 0) {
        error = QStringLiteral("--fault-return-firmware needs --fault-return-after");
        return false;
    }

    if (parser.isSet(QStringLiteral("noise-rate"))) {
        bool ok = false;
        options.link.noiseRate = parser.value(QStringLiteral("noise-rate")).toDouble(&ok);
        if (!ok || options.link.noiseRate < 0 || options.link.noiseRate > 10) {
            error = QStringLiteral("--noise-rate takes a number from 0 to 10");
            return false;
        }
    }
    return true;
}
}

bool parseDottedVersion(const QString &text, quint32 &word)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 result = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint number = part.toUInt(&ok);
        if (!ok || number > 255)
            return false;
        result = (result << 8) | number;
    }
    word = result;
    return true;
}

void addSimOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Simulated gimbal controller on a pseudo-terminal. Prints the device path as the first line\n"
        "of standard output (and the new one each time the line comes back), then serves until interrupted. Without fault flags it is a\n"
        "well-behaved controller. Upgrade data packets are counted from 0."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("link"), QStringLiteral("Also reach the device through a symbolic link at <path>."), QStringLiteral("path")},
        {QStringLiteral("param-form"), QStringLiteral("Parameter block sent: base (22 bytes), photo (29) or crsf (36)."), QStringLiteral("form"), QStringLiteral("crsf")},
        {QStringLiteral("hb-rate"), QStringLiteral("Heartbeats per second, 0 for none (default 20)."), QStringLiteral("hz")},
        {QStringLiteral("hb-len"), QStringLiteral("Heartbeat payload length, 22..61 (default 61)."), QStringLiteral("bytes")},
        {QStringLiteral("firmware"), QStringLiteral("Firmware version reported (default 1.0.0.60)."), QStringLiteral("a.b.c.d")},
        {QStringLiteral("boot"), QStringLiteral("Bootloader version reported (default 1.0.0.2)."), QStringLiteral("a.b.c.d")},
        {QStringLiteral("accel-step-ms"), QStringLiteral("Time per accelerometer calibration step (default 800)."), QStringLiteral("ms")},
        {QStringLiteral("erase-ms"), QStringLiteral("Time the firmware erase takes (default 300)."), QStringLiteral("ms")},
        {QStringLiteral("reboot-ms"), QStringLiteral("Heartbeat pause of a reboot (default 1000)."), QStringLiteral("ms")},
        {QStringLiteral("flash-size"), QStringLiteral("Largest image accepted (default 1048576)."), QStringLiteral("bytes")},
        {QStringLiteral("save-image"), QStringLiteral("Write each received image to <path> when the upgrade stops."), QStringLiteral("path")},
        {QStringLiteral("baud"), QStringLiteral("Pace both directions at <n> baud, 10 bits per byte (default: unpaced)."), QStringLiteral("n")},
        {QStringLiteral("fault-wrong-seq"), QStringLiteral("Acknowledge data packet <n> once with a wrong sequence number."), QStringLiteral("n")},
        {QStringLiteral("fault-drop-ack"), QStringLiteral("Drop the acknowledgement of data packet <n> once."), QStringLiteral("n")},
        {QStringLiteral("fault-silent-after"), QStringLiteral("Stop answering data packets after packet <n>."), QStringLiteral("n")},
        {QStringLiteral("fault-size-exceeded"), QStringLiteral("Refuse every upgrade start as too large.")},
        {QStringLiteral("fault-verify"), QStringLiteral("Fail the upgrade verification: sig, md5 or both."), QStringLiteral("check")},
        {QStringLiteral("fault-late-reply"),
         QStringLiteral("Answer the first erase, start, data (packet 0) or stop request <ms> late, and its resend on time."),
         QStringLiteral("kind:ms")},
        {QStringLiteral("fault-duplicate-acks"), QStringLiteral("Send every data acknowledgement twice.")},
        {QStringLiteral("fault-unsolicited-upgrade-replies"),
         QStringLiteral("Send each upgrade reply every 250 ms while no upgrade is under way.")},
        {QStringLiteral("fault-hangup-after"),
         QStringLiteral("Hang up the line <ms> after the first bytes arrive, then idle until interrupted."),
         QStringLiteral("ms")},
        {QStringLiteral("fault-return-after"),
         QStringLiteral("With --fault-hangup-after: come back <ms> after the hang-up on a new pseudo-terminal, --link "
                        "pointing to it, the device in the state it was left in (still in its bootloader "
                        "mid-upgrade); it hangs up only once."),
         QStringLiteral("ms")},
        {QStringLiteral("fault-hangup-on-command"),
         QStringLiteral("Hang up as soon as a command with this sub-command (hex, such as a0) has arrived, before\n"
                        "answering it."),
         QStringLiteral("hex")},
        {QStringLiteral("fault-return-firmware"),
         QStringLiteral("With --fault-return-after: another controller comes back, reporting this firmware version, its\n"
                        "parameters at the defaults."),
         QStringLiteral("a.b.c.d")},
        {QStringLiteral("fault-exclusive-left"),
         QStringLiteral("Leave the line in exclusive mode (TIOCEXCL), as a program killed while it held the port "
                        "does: only root may open it.")},
        {QStringLiteral("fault-heartbeat-gap"),
         QStringLiteral("Send no heartbeat for <length> ms from <start> ms after starting; all else goes on."),
         QStringLiteral("start:length")},
        {QStringLiteral("fault-silent-calibration"),
         QStringLiteral("Stop the first accelerometer calibration's reports after step <n> (0..7); later ones run through."),
         QStringLiteral("n")},
        {QStringLiteral("fault-silent-params-after"),
         QStringLiteral("Answer the first <n> parameter reads and no later one."), QStringLiteral("n")},
        {QStringLiteral("fault-stay-down"),
         QStringLiteral("From the first activation or restart on, send nothing: no heartbeat, no reply.")},
        {QStringLiteral("fault-bad-crc"),
         QStringLiteral("Send every <n>th frame with a corrupted CRC (its low byte inverted), so that the tool drops it."),
         QStringLiteral("n")},
        {QStringLiteral("fault-false-sync"), QStringLiteral("Precede every reply with a false start of a long frame.")},
        {QStringLiteral("fault-unknown-flood"), QStringLiteral("Send about 1000 unknown version-1 replies a second.")},
        {QStringLiteral("fault-command-acks"),
         QStringLiteral("Acknowledge a Gyro Bias Update nobody asked for <hz> times a second (0..1000)."),
         QStringLiteral("hz")},
        {QStringLiteral("reset-params-on-upgrade"), QStringLiteral("Put the parameters back to their defaults when an upgrade verifies.")},
        {QStringLiteral("replay"),
         QStringLiteral("Play the controller's side of a recording (pcapng) from its start each time the port is\n"
                        "opened: what it sent by itself at its recorded times, each request answered as recorded."),
         QStringLiteral("file")},
        {QStringLiteral("replay-speed"), QStringLiteral("Play the recording <x> times as fast (default 1)."), QStringLiteral("x")},
        {QStringLiteral("replay-strict"),
         QStringLiteral("Leave requests the recording does not hold unanswered instead of answering as the model.")},
        {QStringLiteral("noise-rate"), QStringLiteral("Random noise bytes added per byte sent, between frames (e.g. 0.01)."), QStringLiteral("r")},
        {QStringLiteral("split-output"), QStringLiteral("Write output in random pieces of 1..24 bytes, 1 ms apart.")},
        {QStringLiteral("verbose"), QStringLiteral("Log every frame received and sent to standard error.")},
    });
}

bool readSimOptions(const QCommandLineParser &parser, SimOptions &options, QString &error)
{
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return false;
    }
    SimConfig &c = options.device;
    if (!readParamForm(parser, c.paramForm, error) || !readVerifyFault(parser, c, error)
        || !readVersion(parser, "firmware", c.firmwareVersion, error)
        || !readVersion(parser, "boot", c.bootVersion, error)
        || !readVersion(parser, "fault-return-firmware", c.returnFirmwareVersion, error)
        || !readHangupCommand(parser, options.host, error) || !readNumbers(parser, options, error)
        || !readLateReply(parser, c, error) || !readHeartbeatGap(parser, c, error) || !readReplay(parser, options, error))
        return false;
    options.link.exclusiveLeft = parser.isSet(QStringLiteral("fault-exclusive-left"));
    c.sizeExceeded = parser.isSet(QStringLiteral("fault-size-exceeded"));
    c.duplicateAcks = parser.isSet(QStringLiteral("fault-duplicate-acks"));
    c.unsolicitedUpgradeReplies = parser.isSet(QStringLiteral("fault-unsolicited-upgrade-replies"));
    c.falseSync = parser.isSet(QStringLiteral("fault-false-sync"));
    c.unknownFlood = parser.isSet(QStringLiteral("fault-unknown-flood"));
    c.resetParamsOnUpgrade = parser.isSet(QStringLiteral("reset-params-on-upgrade"));
    c.stayDownAfterRestart = parser.isSet(QStringLiteral("fault-stay-down"));
    options.link.splitOutput = parser.isSet(QStringLiteral("split-output"));
    options.host.verbose = parser.isSet(QStringLiteral("verbose"));
    options.host.saveImagePath = parser.value(QStringLiteral("save-image"));
    options.linkPath = parser.value(QStringLiteral("link"));
    return true;
}
