#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QStringList>

#include <functional>

// Thin wrapper around one serial port: opens it with fixed line settings,
// turns readiness notifications into rawBytesReceived, writes frames.
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
    bool isOpen() const { return m_port->isOpen(); }
    // The name the port was opened with, as the caller gave it.
    QString portName() const { return m_portName; }

    // Called once when the open port reports that its device is gone.
    void setPortLostHandler(std::function<void()> handler) { m_portLostHandler = std::move(handler); }

    // TAVOX_EXTRA_PORTS names first (pseudo-terminals are not enumerated on
    // Linux), then the enumerated ports in the platform's order.
    static QStringList availablePortNames();
    static QStringList parseExtraPorts(const QString &value);

signals:
    void rawBytesReceived(QByteArray data);

public slots:
    void readData();

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort *m_port = nullptr;
    QString m_portName;
    std::function<void()> m_portLostHandler;
};
