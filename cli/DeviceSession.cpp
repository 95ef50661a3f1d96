#include "cli/DeviceSession.h"

#include "app/InterruptWatcher.h"
#include "cli/ExitCode.h"
#include "link/PortRefusal.h"
#include "service/SessionRecording.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <limits>
#include <unistd.h>

namespace {
const int ResendIntervalMs = 1000;
// How long the first exchange is given when a silent controller is no failure.
const int FirstAnswersMs = 1000;

// A QTimer takes an int; a longer wait is run in pieces.
int nextPieceMs(const QDeadlineTimer &deadline)
{
    return int(qMin<qint64>(deadline.remainingTime(), std::numeric_limits<int>::max()));
}
}

DeviceSession::DeviceSession(const CliOutput &out, InterruptWatcher &interrupts, qint64 replyTimeoutMs)
    : m_out(out), m_interrupts(interrupts), m_replyTimeoutMs(replyTimeoutMs),
      m_bridge(nullptr, AppBridge::Initiative::LeftToCaller), m_recorder(recordSessions(m_bridge, nullptr))
{
    connectBridge();
}

DeviceSession::~DeviceSession()
{
    m_bridge.closeSerial();
}

int DeviceSession::interruptions() const
{
    return m_interrupts.count();
}

void DeviceSession::connectBridge()
{
    for (auto signal : {&AppBridge::tavoxParamsChanged, &AppBridge::tavoxVersionChanged,
                        &AppBridge::serialOpenedChanged, &AppBridge::heartbeatChanged,
                        &AppBridge::accelCaliStateChanged, &AppBridge::tavoxUpgradingChanged,
                        &AppBridge::tavoxUpgradeProgressChanged, &AppBridge::messageLogChanged})
        connect(&m_bridge, signal, this, &DeviceSession::stateChanged);
    connect(&m_bridge.serialLink().session(), &LinkSession::scheduledCountChanged, this, &DeviceSession::stateChanged);
    connect(&m_bridge.upgrade().driver(), &UpgradeDriver::ended, this, &DeviceSession::stateChanged);
    connect(&m_interrupts, &InterruptWatcher::interrupted, this, &DeviceSession::interrupted);
    connect(m_recorder.get(), &SessionRecorder::recordingChanged, this, &DeviceSession::stateChanged);
    // The message log is echoed with --verbose only; a recording the disk refused is told always.
    connect(&m_bridge.messages(), &MessageLog::entryAdded, this, [this](const MessageEntry &entry) {
        if (entry.meaning.topic == MessageTopic::RecordingStopped)
            m_out.error(m_out.text(entry.language == QLatin1String("zh") ? entry.text : entry.english, entry.english));
    });
    connect(&m_interrupts, &InterruptWatcher::interrupted, this, &DeviceSession::stateChanged);
    // Called after the bridge has handled the reply, so a wait sees its effect
    // (the accelerometer calibration's state) as well as the reply itself.
    m_bridge.parameters().setCommandReplyObserver([this](quint8 subCommand) {
        ++m_commandReplies[subCommand];
        emit stateChanged();
    });
}

int DeviceSession::open(const QString &port, int baud)
{
    if (m_bridge.openSerial(port, baud))
        return ExitCode::Success;
    QString zh = QStringLiteral("无法打开串口 %1").arg(port);
    QString en = QStringLiteral("cannot open port %1").arg(port);
    // The bridge turns a blank name away before anything claims a port, without a reason of its own.
    const PortRefusal refusal = port.trimmed().isEmpty() ? PortRefusal::blankName() : m_bridge.serialLink().openRefusal();
    if (!refusal.isNull()) {
        zh += QStringLiteral(": ") + refusal.zh();
        en += QStringLiteral(": ") + refusal.en();
    }
    m_out.error(m_out.text(zh, en));
    return ExitCode::PortFailure;
}

DeviceSession::Wait DeviceSession::waitUntil(const std::function<bool()> &done, qint64 timeoutMs)
{
    return wait(done, timeoutMs, 1);
}

DeviceSession::Wait DeviceSession::finishStep(const std::function<bool()> &done, const std::function<bool()> &overdue)
{
    return wait(done, -1, 2, overdue);
}

DeviceSession::Wait DeviceSession::wait(const std::function<bool()> &done, qint64 timeoutMs, int interruptionsEnding,
                                        const std::function<bool()> &overdue)
{
    const auto interrupted = [&] { return interruptions() >= interruptionsEnding; };
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, [&] {
        if (deadline.hasExpired())
            loop.quit();
        else
            timeout.start(nextPieceMs(deadline));
    });
    const QMetaObject::Connection check = connect(this, &DeviceSession::stateChanged, &loop, [&] {
        if (done() || !m_bridge.serialOpened() || interrupted() || overdue())
            loop.quit();
    });
    if (!deadline.isForever())
        timeout.start(nextPieceMs(deadline));
    if (!done() && m_bridge.serialOpened() && !interrupted() && !overdue())
        loop.exec();
    disconnect(check);
    if (done())
        return Wait::Done;
    if (interrupted())
        return Wait::Interrupted;
    return m_bridge.serialOpened() ? Wait::TimedOut : Wait::PortLost;
}

DeviceSession::Wait DeviceSession::waitForReopen()
{
    const auto ended = [this] { return m_bridge.serialOpened() || interruptions() > 0; };
    QEventLoop loop;
    const QMetaObject::Connection check = connect(this, &DeviceSession::stateChanged, &loop, [&] {
        if (ended())
            loop.quit();
    });
    if (!ended())
        loop.exec();
    disconnect(check);
    return interruptions() > 0 ? Wait::Interrupted : Wait::Done;
}

void DeviceSession::askForFirstExchange()
{
    if (m_bridge.parameters().blocksReceived() == 0)
        m_bridge.tavoxReadParams();
    if (m_bridge.tavoxFirmwareVersion() == QLatin1String("-"))
        m_bridge.tavoxQueryVersion();
}

bool DeviceSession::firstExchangeAnswered() const
{
    return m_bridge.parameters().blocksReceived() > 0 && m_bridge.tavoxFirmwareVersion() != QLatin1String("-");
}

DeviceSession::Wait DeviceSession::settleFirstExchange()
{
    const Wait answered = request([this] { askForFirstExchange(); }, [this] { return firstExchangeAnswered(); },
                                  FirstAnswersMs);
    return answered == Wait::TimedOut ? Wait::Done : answered;
}

DeviceSession::Wait DeviceSession::request(const std::function<void()> &send, const std::function<bool()> &answered,
                                           qint64 timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs < 0 ? m_replyTimeoutMs : timeoutMs);
    for (;;) {
        send();
        const qint64 slice = qMin<qint64>(ResendIntervalMs, deadline.remainingTime());
        const Wait wait = waitUntil(answered, slice);
        if (wait != Wait::TimedOut || deadline.hasExpired())
            return wait;
    }
}

int DeviceSession::readDevice()
{
    const Wait wait = request([this] { askForFirstExchange(); }, [this] { return firstExchangeAnswered(); });
    return wait == Wait::Done
        ? ExitCode::Success
        : failure(wait, m_out.text(QStringLiteral("参数块和版本号"), QStringLiteral("the parameter block and the versions")));
}

DeviceSession::Wait DeviceSession::rereadParams()
{
    const int before = m_bridge.parameters().blocksReceived();
    return request([this] { m_bridge.tavoxReadParams(); },
                   [this, before] { return m_bridge.parameters().blocksReceived() > before; });
}

int DeviceSession::failure(Wait wait, const QString &whatWasAwaited)
{
    switch (wait) {
    case Wait::Done:
        return ExitCode::Success;
    case Wait::TimedOut:
        m_out.error(m_out.text(QStringLiteral("控制器没有回复 (等待%1)").arg(whatWasAwaited),
                               QStringLiteral("no reply from the controller (waiting for %1)").arg(whatWasAwaited)));
        return ExitCode::NoReply;
    case Wait::PortLost:
        m_out.error(m_out.text(QStringLiteral("串口已断开"), QStringLiteral("the serial port was lost")));
        return ExitCode::PortFailure;
    case Wait::Interrupted:
        m_out.error(m_out.text(QStringLiteral("已中断"), QStringLiteral("interrupted")));
        return ExitCode::Interrupted;
    }
    return ExitCode::NoReply;
}

bool DeviceSession::confirm(const QString &question)
{
    m_out.noteInPlace(question + QLatin1Char(' '));
    QByteArray answer;
    bool ended = false;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    connect(&input, &QSocketNotifier::activated, this, [&] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) != 1 || byte == '\n')
            ended = true;
        else
            answer.append(byte);
        emit stateChanged();
    });
    waitUntil([&] { return ended; }, -1);
    m_out.note(QString());
    const QString reply = QString::fromLocal8Bit(answer).trimmed().toLower();
    return ended && !wasInterrupted() && (reply == QLatin1String("y") || reply == QLatin1String("yes"));
}
