#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

// What the window says about serial ports beyond their names: the
// description and maker the system reports for each, and the port and baud
// rate of the last successful open, which the sidebar chooses again.
class PortCatalog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString lastPort READ lastPort NOTIFY lastChoiceChanged)
    Q_PROPERTY(int lastBaud READ lastBaud NOTIFY lastChoiceChanged)

public:
    struct PortDetails
    {
        QString name;          // as the port list shows it, e.g. /dev/ttyUSB0
        QString description;
        QString manufacturer;
    };
    using PortLister = std::function<QVector<PortDetails>()>;

    // `lister` stands in for the system's list of ports; by default it is asked of Qt SerialPort.
    explicit PortCatalog(QObject *parent = nullptr, PortLister lister = PortLister());

    QString lastPort() const { return m_lastPort; }
    int lastBaud() const { return m_lastBaud; }

    // "description · manufacturer" of the port, either alone, or empty when the system says nothing.
    Q_INVOKABLE QString details(const QString &portName) const;
    // Stores the choice for the next start, after an open that succeeded.
    Q_INVOKABLE void remember(const QString &portName, int baudRate);

signals:
    void lastChoiceChanged();

private:
    PortLister m_lister;
    QString m_lastPort;
    int m_lastBaud = 0;
};
