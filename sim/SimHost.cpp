#include "sim/SimHost.h"

#include "protocol/FrameCodec.h"
#include "sim/FrameDescription.h"
#include "sim/PtyLink.h"
#include "sim/SimDevice.h"

#include <QSaveFile>

#include <cstdio>

SimHost::SimHost(SimDevice &device, PtyLink &link, const HostOptions &options, QObject *parent)
    : QObject(parent), m_device(device), m_link(link), m_options(options)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimHost::serviceDevice);
    connect(&m_link, &PtyLink::bytesReceived, this, &SimHost::onBytes);
    connect(&m_link, &PtyLink::clientDisconnected, this, [this] { m_rxBuffer.clear(); });
    connect(&m_link, &PtyLink::hungUp, this, &SimHost::onHangup);
    connect(&m_link, &PtyLink::cameBack, this, [this] { m_device.lineCameBack(); });
    serviceDevice();
}

void SimHost::onBytes(const QByteArray &bytes)
{
    m_rxBuffer.append(bytes);
    ParsedFrame frame;
    while (extractFrame(m_rxBuffer, frame)) {
        log("RX", frame);
        m_device.receive(frame, nowMs());
        if (isHangupCommand(frame)) {
            m_link.hangUpOnce();
            return;
        }
    }
    // Written before the verification result goes out, so whoever reads that
    // result finds the image complete.
    saveFinishedImage();
    serviceDevice();
}

// The command arrived whole: the controller has taken it, but the line is gone before its reply.
bool SimHost::isHangupCommand(const ParsedFrame &frame) const
{
    const quint8 command = 0x85;
    return m_options.hangupOnSubCommand >= 0 && frame.version == 0 && frame.commandId == command
        && !frame.payload.isEmpty() && quint8(frame.payload.at(0)) == m_options.hangupOnSubCommand;
}

void SimHost::onHangup()
{
    m_rxBuffer.clear();
    // A line that stays down reaches no one again: the device falls idle rather than serving no one.
    // One that comes back finds a controller that kept running, as one whose cable was pulled does.
    if (!m_link.comesBack())
        m_timer.stop();
}

void SimHost::serviceDevice()
{
    const qint64 now = nowMs();
    for (const QByteArray &frame : m_device.takeDue(now)) {
        if (!m_link.isDown())
            send(frame);
    }
    const qint64 next = m_device.nextDueMs();
    if (next >= 0)
        m_timer.start(int(qMax<qint64>(0, next - now)));
}

// A false frame start is shorter than any frame and is not counted.
void SimHost::send(QByteArray frame)
{
    const bool isFrame = frame.size() >= FrameFormat::MinLength;
    if (isFrame && m_options.badCrcEvery > 0 && ++m_framesSent % m_options.badCrcEvery == 0)
        frame[frame.size() - 2] = char(~frame.at(frame.size() - 2));   // the CRC's low byte
    logSent(frame);
    m_link.send(frame);
}

void SimHost::saveFinishedImage()
{
    QByteArray image;
    if (!m_device.takeFinishedImage(image) || m_options.saveImagePath.isEmpty())
        return;
    QSaveFile file(m_options.saveImagePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.commit())
        std::fprintf(stderr, "tavox-sim: cannot write %s\n", qPrintable(m_options.saveImagePath));
}

void SimHost::log(const char *direction, const ParsedFrame &frame) const
{
    if (m_options.verbose)
        logLine(direction, describeFrame(frame));
}

// Output that is no frame, such as a false frame start, is logged as its bytes.
void SimHost::logSent(const QByteArray &bytes) const
{
    if (!m_options.verbose)
        return;
    QByteArray copy = bytes;
    ParsedFrame parsed;
    if (extractFrame(copy, parsed))
        log("TX", parsed);
    else
        logLine("TX", QStringLiteral("bytes %1").arg(toHexText(bytes)));
}

void SimHost::logLine(const char *direction, const QString &text) const
{
    std::fprintf(stderr, "[%9.3f] %s %s\n", nowMs() / 1000.0, direction, qPrintable(text));
}
