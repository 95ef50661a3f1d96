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
        if (!writeFile(m_upgradeImage.filePath(QStringLiteral("fw.bin")), QByteArray(16, '\x5a')))
            qFatal("no firmware image for the Qt Quick tests");
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
        publishLiveTelemetry(*engine->rootContext(), *fakeBridge, *engine);
        engine->rootContext()->setContextProperty(QStringLiteral("portCatalog"), portsListedIn(*fakeBridge, *engine));
        engine->rootContext()->setContextProperty(QStringLiteral("upgradeImagePath"),
                                                  m_upgradeImage.filePath(QStringLiteral("fw.bin")));
        engine->rootContext()->setContextProperty(QStringLiteral("motorDeviceDouble"),
                                                  new FakeMotorDevice(*fakeBridge, engine));
        if (!m_sims.back()->start() || !bridge.openSerial(m_sims.back()->portName(), Baud))
            qFatal("no simulated controller for the Qt Quick tests");
        QTRY_VERIFY_WITH_TIMEOUT(bridge.parameters().blocksReceived() > 0, ProcessWaitMs);
    }

private:
    QTemporaryDir m_upgradeImage;
    std::vector<std::unique_ptr<SimProcess>> m_sims;
    // Outlive the engines, whose state objects refer to them.
    std::vector<std::unique_ptr<AppBridge>> m_bridges;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_quick, QuickTestSetup)

#include "tst_quick.moc"
