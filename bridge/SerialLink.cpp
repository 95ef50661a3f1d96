#include "bridge/SerialLink.h"

#include "protocol/FrameCodec.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>

#include <chrono>

namespace {
// The receive path hands the event loop back after this long, so timers and
// painting keep their pace during a burst of input.
const int ReceiveSliceMs = 8;
const int ReceivePieceBytes = 4096;

qint64 microsSinceEpoch()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}
}

SerialLink::SerialLink(MessageSink &messages, QObject *parent)
    : QObject(parent)
    , m_messages(messages)
{
    connect(&m_port, &Uartcore::rawBytesReceived, this, &SerialLink::receive);
    m_port.setPortLostHandler([this] { onPortLost(); });
}

bool SerialLink::open(const QString &portName, int baudRate)
{
    if (!m_port.open(portName, baudRate, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                     QSerialPort::NoFlowControl)) {
        reportOpenFailure(portName);
        return false;
    }
    clearReceiveState();
    m_portLost = false;
    m_rxStatistics = ReceiveStatistics();
    if (m_tap) {
        m_tap->linkOpened(portName, baudRate);
        m_tapOpen = true;
    }
    return true;
}

void SerialLink::reportOpenFailure(const QString &portName)
{
    const PortRefusal refusal = m_port.refusal();
    m_messages.report(Message::error(QStringLiteral("串口打开失败: %1 (%2)").arg(portName, refusal.zh()),
                                     QStringLiteral("Failed to open serial port: %1 (%2)").arg(portName, refusal.en())));
}

void SerialLink::close()
{
    m_portLost = false;
    m_session.end();
    clearReceiveState();
    m_port.close();
    endTap();
}

void SerialLink::endTap()
{
    if (!m_tapOpen)
        return;
    m_tapOpen = false;
    m_tap->linkClosed();
}

void SerialLink::onPortLost()
{
    if (!isOpen())
        return;
    m_messages.report(Message::error(QStringLiteral("串口已断开: ") + m_port.portName(),
                                     QStringLiteral("Serial port disconnected: ") + m_port.portName()));
    close();
    m_portLost = true;
    emit lost();
}

bool SerialLink::require()
{
    if (isOpen())
        return true;
    reportPortRequired();
    return false;
}

void SerialLink::reportPortRequired()
{
    m_messages.report(Message::error(QStringLiteral("请您先打开串口"), QStringLiteral("Please open serial port first"),
                                     MessageTopic::PortRequired, OperatorAction::AnyDeviceAction));
}

TextPair SerialLink::noPortsFoundText()
{
    return { QStringLiteral("未检测到可用串口"), QStringLiteral("No serial ports found") };
}

bool SerialLink::send(const QByteArray &frame)
{
    if (!require())
        return false;
    // An upgrade sends thousands of frames: their hex text is built only for someone who reads it.
    if (m_messages.diagnosticsHeard())
        m_messages.diagnostic(QStringLiteral("[DIAG-HEX] TX(%1B): %2").arg(frame.size()).arg(toHexText(frame)));
    if (!m_port.write(frame))
        return false;
    if (m_tapOpen)
        m_tap->bytesCrossed(FrameTap::Direction::Outbound, FrameTap::Cut::Frame, frame.constData(), frame.size(),
                            microsSinceEpoch());
    return true;
}

void SerialLink::runWhileOpen(int delayMs, std::function<void()> action)
{
    m_session.runWhileOpen(delayMs, std::move(action));
}

bool SerialLink::waitForFramesWritten(int timeoutMs)
{
    return m_port.waitForWritten(timeoutMs);
}

void SerialLink::receive(const QByteArray &data)
{
    if (data.isEmpty() || !isOpen())
        return;
    m_rxReadMicros = m_tapOpen ? microsSinceEpoch() : 0;
    m_rxPending.append(data);
    m_rxStatistics.bytesReceived += quint64(data.size());
    if (!m_rxContinuationScheduled)
        processReceivedInput();
}

// Cuts frames out of the pending input piece by piece, oldest first. Input of
// ordinary size is handled before this returns; a burst that takes longer than
// a time slice continues on the next turn of the event loop.
void SerialLink::processReceivedInput()
{
    QElapsedTimer slice;
    slice.start();
    // The payload buffer of the previous call is lent to this one, so frames
    // reuse it; a nested call (a handler that waits for its write can read)
    // finds none to borrow and takes its own.
    ParsedFrame frame;
    frame.payload.swap(m_rxPayloadBuffer);
    const auto giveBack = qScopeGuard([&] { m_rxPayloadBuffer.swap(frame.payload); });
    while (m_rxPendingOffset < m_rxPending.size()) {
        const int piece = qMin(ReceivePieceBytes, m_rxPending.size() - m_rxPendingOffset);
        m_rxBuffer.append(m_rxPending.constData() + m_rxPendingOffset, piece);
        m_rxPendingOffset += piece;
        while (isOpen() && cutFrame(frame))
            emit frameReceived(frame);
        if (!isOpen())
            return;
        if (slice.elapsed() >= ReceiveSliceMs && m_rxPendingOffset < m_rxPending.size()) {
            m_rxContinuationScheduled = true;
            QTimer::singleShot(0, this, [this] {
                m_rxContinuationScheduled = false;
                processReceivedInput();
            });
            return;
        }
    }
    m_rxPending.clear();
    m_rxPendingOffset = 0;
}

bool SerialLink::cutFrame(ParsedFrame &frame)
{
    if (m_tapOpen)
        return extractFrame(m_rxBuffer, frame, m_rxStatistics, *m_tap, m_rxReadMicros);
    return extractFrame(m_rxBuffer, frame, m_rxStatistics);
}

void SerialLink::clearReceiveState()
{
    m_rxBuffer.clear();
    m_rxPending.clear();
    m_rxPendingOffset = 0;
}
