#pragma once

#include "bridge/LinkSession.h"
#include "bridge/Uartcore.h"
#include "device/DeviceLink.h"
#include "device/MessageSink.h"
#include "protocol/FrameTap.h"
#include "protocol/ParsedFrame.h"
#include "protocol/ReceiveStatistics.h"

#include <QObject>

// The serial port, the open it is on, and the receive path that cuts the
// port's input into frames. The controller's parts send through it; a frame
// for a closed port is refused with the operator told to open one.
class SerialLink : public QObject, public DeviceLink
{
    Q_OBJECT

public:
    explicit SerialLink(MessageSink &messages, QObject *parent = nullptr);

    // Opens the port with the controller's line settings; a port that cannot
    // be opened is reported with the reason the system gave. The
    // open's session is begun by the caller.
    bool open(const QString &portName, int baudRate);
    // Ends the open and everything timed from it, then lets go of the port.
    void close();
    QString portName() const { return m_port.portName(); }
    // Why the last open failed; null after a successful open.
    PortRefusal openRefusal() const { return m_port.refusal(); }
    int baudRate() const { return m_port.baudRate(); }
    // True when the last close came from the port going away, not from the operator.
    bool portLost() const { return m_portLost; }
    LinkSession &session() { return m_session; }
    const LinkSession &session() const { return m_session; }

    bool isOpen() const override { return m_session.isOpen(); }
    bool require() override;
    bool send(const QByteArray &frame) override;
    void runWhileOpen(int delayMs, std::function<void()> action) override;
    void noteParamBlock() override { m_session.noteParamBlock(); }
    void noteVersions() override { m_session.noteVersions(); }
    void reportPortRequired();
    // How a port listing without a port is told, in the window and by tavoxctl.
    static TextPair noPortsFoundText();
    // Blocks until the port has taken every frame handed to it, or `timeoutMs`
    // passed; closing the port drops what it still holds.
    bool waitForFramesWritten(int timeoutMs);

    // Bytes as the port delivers them. Dropped while the link is closed.
    void receive(const QByteArray &data);
    // The receive buffer as it stands between two pieces of input.
    const QByteArray &receiveBuffer() const { return m_rxBuffer; }
    // What the receive path made of the input since the link was last opened;
    // kept after a close, so the figures of a lost link can still be read.
    const ReceiveStatistics &statistics() const { return m_rxStatistics; }
    // Shown every byte the link moves from the next open on (a recorder); null
    // for none. The tap it had hears nothing more, not even the close.
    void setFrameTap(FrameTap *tap)
    {
        m_tap = tap;
        m_tapOpen = false;
    }

signals:
    // Every frame cut from the input, as it is cut.
    void frameReceived(const ParsedFrame &frame);
    // The port went away under an open link (cable pulled, simulator ended):
    // reported, and the link closed as the operator would close it.
    void lost();

private:
    void reportOpenFailure(const QString &portName);
    void onPortLost();
    void processReceivedInput();
    void clearReceiveState();
    bool cutFrame(ParsedFrame &frame);
    void endTap();

    MessageSink &m_messages;
    Uartcore m_port;
    LinkSession m_session;
    bool m_portLost = false;
    FrameTap *m_tap = nullptr;
    // The tap was told of the open and is owed its close.
    bool m_tapOpen = false;

    QByteArray m_rxBuffer;
    // Frames' payloads are copied into this buffer, kept from read to read.
    QByteArray m_rxPayloadBuffer;
    ReceiveStatistics m_rxStatistics;
    // Input not yet cut into frames: a burst larger than one time slice waits
    // here while the event loop runs, so the window never freezes.
    QByteArray m_rxPending;
    int m_rxPendingOffset = 0;
    bool m_rxContinuationScheduled = false;
    // When the read that delivered the newest input returned.
    qint64 m_rxReadMicros = 0;
};
