#include "bridge/AppBridge.h"
#include "window/WindowState.h"
#include "window/LinkMonitor.h"
#include "window/PortCatalog.h"
#include "support/FakeBridge.h"
#include "support/FakeMotorDevice.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/TestLocale.h"
#include "support/Waiting.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
const int Baud = 921600;

PortCatalog *portsListedIn(FakeBridge &bridge, QObject &owner)
{
    auto *catalog = new PortCatalog(&owner, [&bridge] {
        QVector<PortEntry> ports;
        for (const QString &name : bridge.property("serialPorts").toStringList())
            ports.append({name, QString(), QString(), QString(), QString(), QString()});
        return ports;
    });
    QObject::connect(&bridge, &FakeBridge::serialPortsChanged, catalog, &PortCatalog::rescan);
    return catalog;
}
}

// Drives the upgrade of the real bridge behind the window's state objects,
// on a line slow enough for the upgrade to be watched.
class UpgradeRig : public QObject
{
    Q_OBJECT

public:
    UpgradeRig(AppBridge &bridge, QObject *parent)
        : QObject(parent)
        , m_bridge(bridge)
    {
        m_bridge.setUpgradeFileChooser([this](const QString &, const QString &, const QString &) { return m_path; });
    }

    Q_INVOKABLE bool openPacedController()
    {
        if (!m_paced.start())
            return false;
        m_bridge.closeSerial();
        return reopen();
    }

    Q_INVOKABLE bool reopen() { return m_bridge.openSerial(m_paced.portName(), Baud); }
    Q_INVOKABLE void closePort() { m_bridge.closeSerial(); }
    Q_INVOKABLE void start() { m_bridge.tavoxStartUpgrade(m_path); }

    // A new file of `size` bytes, chosen as the operator would.
    Q_INVOKABLE bool chooseFile(int size)
    {
        m_path = writeImage(size);
        if (m_path.isEmpty())
            return false;
        m_bridge.tavoxSelectUpgradeFile();
        return true;
    }

    // The path of a new image of `size` bytes; empty when it cannot be written.
    Q_INVOKABLE QString writeImage(int size)
    {
        const QString path = m_dir.filePath(QStringLiteral("fw-%1.bin").arg(++m_files));
        return writeFile(path, QByteArray(size, '\x5a')) ? path : QString();
    }

private:
    AppBridge &m_bridge;
    SimProcess m_paced {{QStringLiteral("--baud"), QStringLiteral("115200")}};
    QTemporaryDir m_dir;
    QString m_path;
    int m_files = 0;
};

// Every tests/qml/tst_*.qml file runs in its own engine; each gets a fresh
// bridge double so that no file sees another's state. The window's state
// objects come from a real bridge connected to the simulated controller, with
// its parameters read: the state in which every panel action is allowed.
class QuickTestSetup : public QObject
{
    Q_OBJECT

public:
    QuickTestSetup()
    {
        // Pulls in the product's library and with it the embedded images.
        Q_INIT_RESOURCE(tavox);
        // The documents' tests read the bridge's Chinese messages.
        useChineseLocale();
    }

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        auto *fakeBridge = new FakeBridge(engine);
        engine->rootContext()->setContextProperty(QStringLiteral("appBridge"), fakeBridge);
        engine->rootContext()->setContextProperty(QStringLiteral("appFontFamily"),
                                                  QStringLiteral("Noto Sans CJK SC"));
        m_sims.push_back(std::make_unique<SimProcess>());
        m_bridges.push_back(std::make_unique<AppBridge>());
        AppBridge &bridge = *m_bridges.back();
        publishWindowState(*engine->rootContext(), bridge, *engine);
        // The documents show the heartbeat values the tests put into the double,
        // and offer the ports the tests list in it.
        publishLiveTelemetry(*engine->rootContext(), *fakeBridge, *engine);
        engine->rootContext()->setContextProperty(QStringLiteral("portCatalog"), portsListedIn(*fakeBridge, *engine));
        engine->rootContext()->setContextProperty(QStringLiteral("upgradeRig"), new UpgradeRig(bridge, engine));
        // A document's own motor service takes its commands to the double.
        engine->rootContext()->setContextProperty(QStringLiteral("motorDeviceDouble"),
                                                  new FakeMotorDevice(*fakeBridge, engine));
        if (!m_sims.back()->start() || !bridge.openSerial(m_sims.back()->portName(), Baud))
            qFatal("no simulated controller for the Qt Quick tests");
        QTRY_VERIFY_WITH_TIMEOUT(bridge.parameters().blocksReceived() > 0, ProcessWaitMs);
    }

private:
    std::vector<std::unique_ptr<SimProcess>> m_sims;
    // Outlive the engines, whose state objects refer to them.
    std::vector<std::unique_ptr<AppBridge>> m_bridges;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_quick, QuickTestSetup)

#include "tst_quick.moc"
