#include "bridge/Uartcore.h"

#include "bridge/TurnaroundProbe.h"

#include "link/PortClaim.h"
#include "link/PortScanner.h"

#include <QDeadlineTimer>
#include <QSerialPortInfo>
#include <QTimer>

#include <poll.h>

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
    m_baudRate = baudRate;
    m_lossReported = false;
    ++m_openCount;
    if (!claimPort(*m_port, portName, QIODevice::ReadWrite, m_refusal))
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

// Out now rather than on the next turn of the event loop: a controller that
// answers each frame (an upgrade's packets) waits for that turn otherwise, and
// on a busy machine the turn can come late. Whatever the port does not take at
// once still goes when it can take more.
bool Uartcore::write(const QByteArray &data)
{
    if (!m_port->isOpen() || data.isEmpty() || m_port->write(data) != data.size())
        return false;
    m_port->flush();
    if (m_port->bytesToWrite() == 0)
        TurnaroundProbe::instance().noteWritten();
    return true;
}

bool Uartcore::waitForWritten(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_port->isOpen() && m_port->bytesToWrite() > 0) {
        if (!m_port->waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    return m_port->bytesToWrite() == 0;
}

void Uartcore::readData()
{
    TurnaroundProbe::instance().noteRead();
    const QByteArray data = m_port->readAll();
    if (!data.isEmpty())
        emit rawBytesReceived(data);
}

// Qt reports a hung-up line (a read that returns end-of-file) as a resource
// error or as a read error depending on whatever errno an earlier call left,
// and keeps polling a port in the second case, so the kind of error alone says
// little: any error that stops reads or writes counts, and so does a hang-up
// that the descriptor itself reports.
void Uartcore::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || !m_port->isOpen())
        return;
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::PermissionError:
    case QSerialPort::DeviceNotFoundError:
        reportPortLost();
        return;
    default:
        if (isHungUp())
            reportPortLost();
    }
}

bool Uartcore::isHungUp() const
{
    pollfd descriptor{int(m_port->handle()), POLLIN, 0};
    return poll(&descriptor, 1, 0) > 0 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL));
}

// Later, from the event loop: the port must not be closed inside its own notification.
void Uartcore::reportPortLost()
{
    if (m_lossReported)
        return;
    m_lossReported = true;
    QTimer::singleShot(0, this, [this, openCount = m_openCount] {
        if (openCount == m_openCount && m_port->isOpen() && m_portLostHandler)
            m_portLostHandler();
    });
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
