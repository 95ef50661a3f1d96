// Serial link, receive path and transmit path of the bridge.
#include "bridge/AppBridge.h"

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
        m_messages.report(Message::error(QStringLiteral("未检测到可用串口"), QStringLiteral("No serial ports found")));
    else
        m_messages.report(Message::info(QStringLiteral("串口已刷新: ") + m_serialPorts.join(QStringLiteral(", ")),
                                        QStringLiteral("Serial ports refreshed: ") + m_serialPorts.join(QStringLiteral(", "))));
}

bool AppBridge::openSerial(QString portName, int baudRate)
{
    if (portName.trimmed().isEmpty() || baudRate <= 0) {
        m_messages.report(Message::error(QStringLiteral("串口参数无效"), QStringLiteral("Invalid serial params")));
        return false;
    }

    if (serialOpened()) {
        closeLink();
        m_telemetry.resetHeartbeat();
        emit serialOpenedChanged();
        emit linkStatusChanged();
        reportLinkStatus();
        m_upgrade.driver().abortForClosedLink();
    }

    if (!m_serial.port().open(portName, baudRate, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                     QSerialPort::NoFlowControl)) {
        m_messages.report(Message::error(QStringLiteral("串口打开失败: ") + portName,
                                         QStringLiteral("Failed to open serial port: ") + portName));
        emit linkStatusChanged();
        reportLinkStatus();
        return false;
    }

    clearReceiveState();
    m_portLost = false;
    m_rxStatistics = ReceiveStatistics();
    m_startupHintShown = false;
    m_telemetry.resetHeartbeat();
    m_serial.session().begin();
    emit serialOpenedChanged();
    emit linkStatusChanged();
    reportLinkStatus();
    const QString opened = portName + QStringLiteral(" @ ") + QString::number(baudRate);
    m_messages.report(Message::success(QStringLiteral("串口已打开: ") + opened, QStringLiteral("Serial port opened: ") + opened));
    scheduleFirstExchange();
    return true;
}

void AppBridge::scheduleFirstExchange()
{
    m_serial.session().runWhileOpen(ParamReadDelayMs, [this] { m_parameters.readParams(); });
    m_serial.session().runWhileOpen(VersionQueryDelayMs, [this] { m_telemetry.queryVersion(); });
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
    m_serial.session().end();
    clearReceiveState();
    m_telemetry.resetHeartbeat();
    m_serial.port().close();
    emit serialOpenedChanged();
    emit linkStatusChanged();
    reportLinkStatus();
    m_messages.report(Message::info(QStringLiteral("串口已关闭"), QStringLiteral("Serial port closed")));
    m_upgrade.driver().abortForClosedLink();
}

// Ends the open and everything timed from it, then lets go of the port.
void AppBridge::closeLink()
{
    m_serial.session().end();
    m_serial.port().close();
}

// The device went away under an open port (cable pulled, simulator ended):
// close the link as the operator would, so the window stops showing a live link.
void AppBridge::onPortLost()
{
    if (!serialOpened())
        return;
    m_messages.report(Message::error(QStringLiteral("串口已断开: ") + m_serial.port().portName(),
                                     QStringLiteral("Serial port disconnected: ") + m_serial.port().portName()));
    m_portLost = true;
    endOpenLink();
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

bool AppBridge::waitForFramesWritten(int timeoutMs)
{
    return m_serial.port().waitForWritten(timeoutMs);
}
