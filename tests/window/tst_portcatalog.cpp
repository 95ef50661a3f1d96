#include "app/Config.h"
#include "window/PortCatalog.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class PortCatalogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(configFilePath()); }
    void cleanupTestCase() { QFile::remove(configFilePath()); }

    void detailsNameWhatTheSystemSays_data();
    void detailsNameWhatTheSystemSays();
    void lastChoiceIsThereAtTheNextStart();
    void choiceOutlivesThePortsComingAndGoing();
    void typedPathsAndStableNames();
};

namespace {
PortEntry port(const QString &name, const QString &description, const QString &manufacturer)
{
    return {name, name, description, manufacturer, QString(), QStringLiteral("/dev/") + name};
}

PortWatcher::Scanner fixedPorts()
{
    return [] {
        return QVector<PortEntry>{
            port(QStringLiteral("ttyUSB0"), QStringLiteral("CP2102 USB to UART Bridge Controller"), QStringLiteral("Silicon Labs")),
            port(QStringLiteral("ttyACM0"), QStringLiteral("STM32 Virtual ComPort"), QStringLiteral("STMicroelectronics")),
            port(QStringLiteral("ttyS0"), QString(), QString()),
            port(QStringLiteral("ttyUSB1"), QStringLiteral("FT232R USB UART"), QStringLiteral("FT232R USB UART")),
            port(QStringLiteral("ttyUSB2"), QStringLiteral("  "), QStringLiteral("FTDI")),
        };
    };
}

const QString StableAdapter = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
}

void PortCatalogTest::detailsNameWhatTheSystemSays_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("short name as listed") << "ttyUSB0" << "CP2102 USB to UART Bridge Controller · Silicon Labs";
    QTest::newRow("kernel path") << "/dev/ttyACM0" << "STM32 Virtual ComPort · STMicroelectronics";
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

// A typed path comes back at the next start, gone or not.
void PortCatalogTest::lastChoiceIsThereAtTheNextStart()
{
    QTemporaryDir dir;
    const QString typed = dir.filePath(QStringLiteral("gimbal"));
    {
        PortCatalog first(nullptr, fixedPorts());
        QSignalSpy changed(&first, &PortCatalog::lastChoiceChanged);
        first.remember(QString(), 921600);
        first.remember(QStringLiteral("ttyUSB0"), 0);
        QVERIFY(!QFile::exists(configFilePath()));
        QVERIFY(first.lastPort().isEmpty());
        first.remember(typed, 115200);
        first.remember(typed, 115200);
        QCOMPARE(changed.count(), 1);
    }
    const PortCatalog next(nullptr, [] { return QVector<PortEntry>(); });
    QCOMPARE(next.lastPort(), typed);
    QCOMPARE(next.lastBaud(), 115200);
    QCOMPARE(next.chosenName(), typed);
    QCOMPARE(next.portNames(), QStringList{typed});
}

void PortCatalogTest::choiceOutlivesThePortsComingAndGoing()
{
    QVector<PortEntry> system;
    PortCatalog catalog(nullptr, [&system] { return system; });
    QSignalSpy changed(&catalog, &PortCatalog::portsChanged);

    system << port(QStringLiteral("ttyUSB0"), QString(), QString());
    QVERIFY(changed.wait(PortWatcher::ScanIntervalMs * 10));   // plugged in: found without a rescan
    QCOMPARE(catalog.chosenName(), QStringLiteral("ttyUSB0"));   // the first port, as nothing was chosen

    system.prepend(port(QStringLiteral("ttyACM0"), QString(), QString()));
    catalog.rescan();
    QCOMPARE(catalog.portNames(), (QStringList{QStringLiteral("ttyACM0"), QStringLiteral("ttyUSB0")}));
    QCOMPARE(catalog.chosenName(), QStringLiteral("ttyUSB0"));

    system.removeLast();   // the chosen adapter pulled: still listed, marked gone
    catalog.rescan();
    QCOMPARE(catalog.portNames(), (QStringList{QStringLiteral("ttyACM0"), QStringLiteral("ttyUSB0")}));
    QCOMPARE(catalog.chosenName(), QStringLiteral("ttyUSB0"));
    QVERIFY(!catalog.isPresent(QStringLiteral("ttyUSB0")));
    QVERIFY(catalog.isPresent(QStringLiteral("ttyACM0")));

    system << port(QStringLiteral("ttyUSB0"), QStringLiteral("CP2102"), QString());
    catalog.rescan();
    QVERIFY(catalog.isPresent(QStringLiteral("ttyUSB0")));
    QCOMPARE(catalog.details(QStringLiteral("ttyUSB0")), QStringLiteral("CP2102"));
    QCOMPARE(catalog.portNames().size(), 2);
}

void PortCatalogTest::typedPathsAndStableNames()
{
    QTemporaryDir dir;
    const QString typed = dir.filePath(QStringLiteral("gimbal"));
    PortCatalog catalog(nullptr, [] {
        return QVector<PortEntry>{{StableAdapter, QStringLiteral("ttyUSB0"), QStringLiteral("FT232R USB UART"),
                                   QStringLiteral("FTDI"), QStringLiteral("A50285BI"), QStringLiteral("/dev/ttyUSB0")}};
    });
    const QString shown = QStringLiteral("usb-FTDI_FT232R_A50285BI-if00-port0");
    QCOMPARE(catalog.portNames(), QStringList{shown});
    QCOMPARE(catalog.pathOf(shown), StableAdapter);
    QCOMPARE(catalog.pathOf(QStringLiteral("ttyUSB0")), StableAdapter);
    QCOMPARE(catalog.kernelName(shown), QStringLiteral("ttyUSB0"));
    QCOMPARE(catalog.details(shown), QStringLiteral("FT232R USB UART · FTDI"));

    catalog.choose(typed);
    QCOMPARE(catalog.chosenName(), typed);
    QCOMPARE(catalog.portNames(), (QStringList{shown, typed}));
    QCOMPARE(catalog.pathOf(typed), typed);
    QVERIFY(catalog.kernelName(typed).isEmpty());
    QVERIFY(!catalog.isPresent(typed));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), typed));
    QVERIFY(catalog.isPresent(typed));
}

QTEST_GUILESS_MAIN(PortCatalogTest)

#include "tst_portcatalog.moc"
