#include "bridge/Uartcore.h"

#include <QSerialPortInfo>

Uartcore::Uartcore(QObject *parent)
    : QObject(parent)
    , m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::errorOccurred, this, &Uartcore::onError);
}

bool Uartcore::open(const QString &portName, qint32 baudRate, QSerialPort::DataBits dataBits,
                    QSerialPort::Parity parity, QSerialPort::StopBits stopBits,
                    QSerialPort::FlowControl flowControl)
{
    m_portName = portName;
    m_port->setPortName(portName);
    if (!m_port->open(QIODevice::ReadWrite))
        return false;
    m_port->setBaudRate(baudRate, QSerialPort::AllDirections);
    m_port->setDataBits(dataBits);
    m_port->setParity(parity);
    m_port->setStopBits(stopBits);
    m_port->setFlowControl(flowControl);
    connect(m_port, &QSerialPort::readyRead, this, &Uartcore::readData, Qt::UniqueConnection);
    return true;
}

void Uartcore::close()
{
    disconnect(m_port, &QSerialPort::readyRead, this, &Uartcore::readData);
    if (!m_port->isOpen())
        return;
    m_port->clear(QSerialPort::AllDirections);
    m_port->close();
}

bool Uartcore::write(const QByteArray &data)
{
    if (!m_port->isOpen() || data.isEmpty())
        return false;
    return m_port->write(data) == data.size();
}

void Uartcore::readData()
{
    const QByteArray data = m_port->readAll();
    if (!data.isEmpty())
        emit rawBytesReceived(data);
}

void Uartcore::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::ResourceError && m_port->isOpen() && m_portLostHandler)
        m_portLostHandler();
}

QStringList Uartcore::parseExtraPorts(const QString &value)
{
    QStringList names;
    for (const QString &entry : value.split(QLatin1Char(','))) {
        const QString name = entry.trimmed();
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}

QStringList Uartcore::availablePortNames()
{
    QStringList names = parseExtraPorts(qEnvironmentVariable("TAVOX_EXTRA_PORTS"));
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}
