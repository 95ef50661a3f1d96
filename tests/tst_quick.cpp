#include "support/FakeBridge.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// Every tests/qml/tst_*.qml file runs in its own engine; each gets a fresh
// bridge double so that no file sees another's state.
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
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_quick, QuickTestSetup)

#include "tst_quick.moc"
