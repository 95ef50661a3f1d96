#include "bridge/AppBridge.h"
#include "bridge/WindowState.h"
#include "bridge/LinkMonitor.h"
#include "support/FakeBridge.h"
#include "support/SimProcess.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>
#include <QtTest>

#include <memory>
#include <vector>

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
    }

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->rootContext()->setContextProperty(QStringLiteral("appBridge"), new FakeBridge(engine));
        engine->rootContext()->setContextProperty(QStringLiteral("appFontFamily"),
                                                  QStringLiteral("Noto Sans CJK SC"));
        m_sims.push_back(std::make_unique<SimProcess>());
        m_bridges.push_back(std::make_unique<AppBridge>());
        AppBridge &bridge = *m_bridges.back();
        publishWindowState(*engine->rootContext(), bridge, *engine);
        if (!m_sims.back()->start() || !bridge.openSerial(m_sims.back()->portName(), 921600))
            qFatal("no simulated controller for the Qt Quick tests");
        QTRY_VERIFY_WITH_TIMEOUT(bridge.paramBlocksReceived() > 0, 10000);
    }

private:
    std::vector<std::unique_ptr<SimProcess>> m_sims;
    // Outlive the engines, whose state objects refer to them.
    std::vector<std::unique_ptr<AppBridge>> m_bridges;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_quick, QuickTestSetup)

#include "tst_quick.moc"
