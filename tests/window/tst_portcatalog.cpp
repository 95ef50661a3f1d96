#include "app/Config.h"
#include "window/PortCatalog.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

// The port details the sidebar shows on hover, and the port and baud rate it
// chooses again at the next start.
class PortCatalogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(configFilePath()); }
    void cleanupTestCase() { QFile::remove(configFilePath()); }

    void detailsNameWhatTheSystemSays_data();
    void detailsNameWhatTheSystemSays();
    void lastChoiceIsThereAtTheNextStart();
    void onlyARealChoiceIsStored();
};

namespace {
PortCatalog::PortLister fixedPorts()
{
    return [] {
        return QVector<PortCatalog::PortDetails>{
            {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("CP2102 USB to UART Bridge Controller"), QStringLiteral("Silicon Labs")},
            {QStringLiteral("/dev/ttyACM0"), QStringLiteral("STM32 Virtual ComPort"), QStringLiteral("STMicroelectronics")},
            {QStringLiteral("/dev/ttyS0"), QString(), QString()},
            {QStringLiteral("/dev/ttyUSB1"), QStringLiteral("FT232R USB UART"), QStringLiteral("FT232R USB UART")},
            {QStringLiteral("/dev/ttyUSB2"), QStringLiteral("  "), QStringLiteral("FTDI")},
        };
    };
}
}

void PortCatalogTest::detailsNameWhatTheSystemSays_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("short name as listed") << "ttyUSB0" << "CP2102 USB to UART Bridge Controller · Silicon Labs";
    QTest::newRow("full path") << "/dev/ttyACM0" << "STM32 Virtual ComPort · STMicroelectronics";
    QTest::newRow("nothing known") << "ttyS0" << "";
    QTest::newRow("same text once") << "ttyUSB1" << "FT232R USB UART";
    QTest::newRow("blank description") << "ttyUSB2" << "FTDI";
    QTest::newRow("not a listed port") << "/tmp/ux-run/pty-a" << "";
    QTest::newRow("no port") << "" << "";
}

void PortCatalogTest::detailsNameWhatTheSystemSays()
{
    QFETCH(QString, portName);
    const PortCatalog catalog(nullptr, fixedPorts());
    QTEST(catalog.details(portName), "expected");
}

void PortCatalogTest::lastChoiceIsThereAtTheNextStart()
{
    {
        PortCatalog first(nullptr, fixedPorts());
        QVERIFY(first.lastPort().isEmpty());
        QCOMPARE(first.lastBaud(), 0);
        QSignalSpy changed(&first, &PortCatalog::lastChoiceChanged);
        first.remember(QStringLiteral("ttyACM0"), 115200);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(first.lastPort(), QStringLiteral("ttyACM0"));
        first.remember(QStringLiteral("ttyACM0"), 115200);
        QCOMPARE(changed.count(), 1);
    }
    const PortCatalog next(nullptr, fixedPorts());
    QCOMPARE(next.lastPort(), QStringLiteral("ttyACM0"));
    QCOMPARE(next.lastBaud(), 115200);
}

void PortCatalogTest::onlyARealChoiceIsStored()
{
    PortCatalog catalog(nullptr, fixedPorts());
    catalog.remember(QString(), 921600);
    catalog.remember(QStringLiteral("ttyUSB0"), 0);
    QVERIFY(!QFile::exists(configFilePath()));
    QVERIFY(catalog.lastPort().isEmpty());
}

QTEST_GUILESS_MAIN(PortCatalogTest)

#include "tst_portcatalog.moc"
