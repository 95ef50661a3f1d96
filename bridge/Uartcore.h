#pragma once

#include "link/PortRefusal.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QStringList>

#include <functional>

// Thin wrapper around one serial port: claims it for this program (see
// claimPort) with fixed line settings, turns readiness notifications into
// rawBytesReceived, writes frames.
class Uartcore : public QObject
{
    Q_OBJECT

public:
    explicit Uartcore(QObject *parent = nullptr);

    bool open(const QString &portName, qint32 baudRate, QSerialPort::DataBits dataBits,
              QSerialPort::Parity parity, QSerialPort::StopBits stopBits,
              QSerialPort::FlowControl flowControl);
    void close();
    bool write(const QByteArray &data);
    // Blocks until the port holds nothing more to write, or `timeoutMs` passed.
    bool waitForWritten(int timeoutMs);
    bool isOpen() const { return m_port->isOpen(); }
    // The name the port was opened with, as the caller gave it.
    QString portName() const { return m_portName; }
    // Why the last open failed; null after a successful open.
    PortRefusal refusal() const { return m_refusal; }
    qint32 baudRate() const { return m_baudRate; }

    // Called once per open, from the event loop, when the port can no longer be
    // used: the device is gone, the line hung up, or reads or writes fail.
    void setPortLostHandler(std::function<void()> handler) { m_portLostHandler = std::move(handler); }

    // TAVOX_EXTRA_PORTS names first (pseudo-terminals are not enumerated on
    // Linux), then the enumerated ports in the platform's order.
    static QStringList availablePortNames();

signals:
    void rawBytesReceived(QByteArray data);

public slots:
    void readData();

private:
    void onError(QSerialPort::SerialPortError error);
    bool isHungUp() const;
    void reportPortLost();

    QSerialPort *m_port = nullptr;
    QString m_portName;
    PortRefusal m_refusal;
    qint32 m_baudRate = 0;
    std::function<void()> m_portLostHandler;
    bool m_lossReported = false;
    quint64 m_openCount = 0;
};
