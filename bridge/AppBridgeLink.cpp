// Serial link, receive path and transmit path of the bridge.
#include "bridge/AppBridge.h"

#include "log/Diagnostics.h"
#include "protocol/FrameCodec.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>

namespace {
const int ParamReadDelayMs = 300;
const int VersionQueryDelayMs = 600;

// The receive path hands the event loop back after this long, so timers and
// painting keep their pace during a burst of input.
const int ReceiveSliceMs = 8;
const int ReceivePieceBytes = 4096;
}

void AppBridge::refreshSerialPorts()
{
    const QStringList names = Uartcore::availablePortNames();
    if (names != m_serialPorts) {
        m_serialPorts = names;
        emit serialPortsChanged();
    }
    if (m_serialPorts.isEmpty())
        appendMessage(localized(QStringLiteral("未检测到可用串口"), QStringLiteral("No serial ports found")));
    else
        appendMessage(localized(QStringLiteral("串口已刷新: "), QStringLiteral("Serial ports refreshed: "))
                      + m_serialPorts.join(QStringLiteral(", ")));
}

bool AppBridge::openSerial(QString portName, int baudRate)
{
    if (portName.trimmed().isEmpty() || baudRate <= 0) {
        appendMessage(localized(QStringLiteral("串口参数无效"), QStringLiteral("Invalid serial params")));
        return false;
    }

    if (serialOpened()) {
        closeLink();
        resetHeartbeat();
        emit serialOpenedChanged();
        emit linkStatusChanged();
        appendLinkStatus();
        m_upgrade.abortForClosedLink();
    }

    if (!m_uart.open(portName, baudRate, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                     QSerialPort::NoFlowControl)) {
        appendMessage(localized(QStringLiteral("串口打开失败: "), QStringLiteral("Failed to open serial port: "))
                      + portName);
        emit linkStatusChanged();
        appendLinkStatus();
        return false;
    }

    clearReceiveState();
    m_portLost = false;
    m_rxStatistics = ReceiveStatistics();
    m_startupHintShown = false;
    resetHeartbeat();
    m_link.begin();
    emit serialOpenedChanged();
    emit linkStatusChanged();
    appendLinkStatus();
    appendMessage(localized(QStringLiteral("串口已打开: "), QStringLiteral("Serial port opened: ")) + portName
                  + QStringLiteral(" @ ") + QString::number(baudRate));
    scheduleFirstExchange();
    return true;
}

void AppBridge::scheduleFirstExchange()
{
    m_link.runWhileOpen(ParamReadDelayMs, [this] { tavoxReadParams(); });
    m_link.runWhileOpen(VersionQueryDelayMs, [this] { tavoxQueryVersion(); });
}

void AppBridge::closeSerial()
{
    if (!serialOpened())
        return;
    m_portLost = false;
    endOpenLink();
}

void AppBridge::endOpenLink()
{
    m_link.end();
    clearReceiveState();
    resetHeartbeat();
    m_uart.close();
    emit serialOpenedChanged();
    emit linkStatusChanged();
    appendLinkStatus();
    appendMessage(localized(QStringLiteral("串口已关闭"), QStringLiteral("Serial port closed")));
    m_upgrade.abortForClosedLink();
}

// Ends the open and everything timed from it, then lets go of the port.
void AppBridge::closeLink()
{
    m_link.end();
    m_uart.close();
}

// The device went away under an open port (cable pulled, simulator ended):
// close the link as the operator would, so the window stops showing a live link.
void AppBridge::onPortLost()
{
    if (!serialOpened())
        return;
    appendMessage(localized(QStringLiteral("串口已断开: "), QStringLiteral("Serial port disconnected: "))
                  + m_uart.portName());
    m_portLost = true;
    endOpenLink();
}

void AppBridge::resetHeartbeat()
{
    m_heartbeat = HeartbeatRecord();
    m_hbReceived = false;
    m_hbDiagLogged = false;
    emit heartbeatChanged();
}

void AppBridge::onRawBytes(const QByteArray &data)
{
    if (data.isEmpty() || !serialOpened())
        return;
    m_rxPending.append(data);
    m_rxStatistics.bytesReceived += quint64(data.size());
    if (!m_rxContinuationScheduled)
        processReceivedInput();
}

// Cuts frames out of the pending input piece by piece, oldest first. Input of
// ordinary size is handled before this returns; a burst that takes longer than
// a time slice continues on the next turn of the event loop.
void AppBridge::processReceivedInput()
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
        while (serialOpened() && extractFrame(m_rxBuffer, frame, m_rxStatistics))
            handleFrame(frame);
        if (!serialOpened())
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

void AppBridge::clearReceiveState()
{
    m_rxBuffer.clear();
    m_rxPending.clear();
    m_rxPendingOffset = 0;
}

void AppBridge::handleFrame(const ParsedFrame &frame)
{
    if (!frame.valid)
        return;
    if (frame.version == 1) {
        handleV1Reply(frame);
        return;
    }
    if (frame.commandId == CommandId::ParamBlock)
        handleParamBlock(frame.payload);
    else if (frame.commandId == CommandId::CommandReply && !frame.payload.isEmpty())
        handleCommandReply(frame.payload);
}

bool AppBridge::waitForFramesWritten(int timeoutMs)
{
    return m_uart.waitForWritten(timeoutMs);
}

bool AppBridge::sendFrame(const QByteArray &frame)
{
    if (!serialOpened()) {
        tavoxRequireSerial();
        return false;
    }
    // An upgrade sends thousands of frames: their hex text is built only for someone who reads it.
    if (diagnosticsHeard())
        logDiagnostic(QStringLiteral("[DIAG-HEX] TX(%1B): %2").arg(frame.size()).arg(toHexText(frame)));
    return m_uart.write(frame);
}
