#include "app/Startup.h"
#include "bridge/AppBridge.h"
#include "support/PseudoTerminal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QPixmap>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The real main window on the real bridge, as start-up builds it: it must load
// without a single QML warning, and both languages are saved as pictures.
namespace {
QStringList g_qmlWarnings;
QtMessageHandler g_previousHandler = nullptr;

bool comesFromQml(const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    return category == QLatin1String("qml") || category == QLatin1String("js")
        || message.contains(QLatin1String("qrc:/")) || message.contains(QLatin1String(".qml"));
}

void recordQmlWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && comesFromQml(context, message))
        g_qmlWarnings.append(message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QString configPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/zentaro.cfg");
}
}

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void opensWithoutWarnings();
    void windowGeometry();
    void startupHintShownOnce();
    void grabsBothLanguages_data();
    void grabsBothLanguages();
    void serialSwitchDrivesTheRealPort();
    void unpluggedPortTurnsTheSwitchOff();

private:
    QQuickWindow *window() const;
    QString itemText(const char *objectName) const;
    QImage grabRenderedFrame() const;
    QQuickItem *item(const char *objectName) const;
    void click(const char *objectName);

    PseudoTerminal m_device;
    QString m_fontFamily;
    std::unique_ptr<AppBridge> m_bridge;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
};

void WindowTest::initTestCase()
{
    QFile::remove(configPath());
    QVERIFY(m_device.isValid());
    qputenv("TAVOX_EXTRA_PORTS", m_device.slaveName().toUtf8());
    g_previousHandler = qInstallMessageHandler(recordQmlWarnings);

    m_fontFamily = applyAppFont();
    QVERIFY2(m_fontFamily != QLatin1String("Microsoft YaHei"), "no CJK font installed (fonts-noto-cjk)");

    m_bridge = std::make_unique<AppBridge>();
    m_engine = std::make_unique<QQmlApplicationEngine>();
    QObject::connect(m_engine.get(), &QQmlEngine::warnings, [](const QList<QQmlError> &warnings) {
        for (const QQmlError &error : warnings)
            g_qmlWarnings.append(error.toString());
    });
    publishToQml(*m_engine, *m_bridge, m_fontFamily);
    m_engine->load(QUrl(QStringLiteral("qrc:/qml/Main.qml")));
    QVERIFY(window());
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    // the first port listing runs once the event loop does
    QTRY_VERIFY(m_bridge->messageLog().count(QLatin1Char('\n')) >= 2);
}

void WindowTest::cleanupTestCase()
{
    m_engine.reset();
    m_bridge.reset();
    qInstallMessageHandler(g_previousHandler);
    QFile::remove(configPath());
}

QQuickWindow *WindowTest::window() const
{
    const QList<QObject *> roots = m_engine->rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
}

QQuickItem *WindowTest::item(const char *objectName) const
{
    return window()->findChild<QQuickItem *>(QString::fromLatin1(objectName));
}

QString WindowTest::itemText(const char *objectName) const
{
    const QQuickItem *found = item(objectName);
    return found ? found->property("text").toString() : QStringLiteral("<missing %1>").arg(objectName);
}

void WindowTest::click(const char *objectName)
{
    QQuickItem *target = item(objectName);
    QVERIFY2(target, objectName);
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

QImage WindowTest::grabRenderedFrame() const
{
    QSignalSpy frameSwapped(window(), &QQuickWindow::frameSwapped);
    window()->update();
    if (!frameSwapped.wait(5000))
        return QImage();
    QImage image = window()->grabWindow();
    // The offscreen platform's backing store cannot hand its image to the
    // scene graph's grab, but its screen can read the window back.
    if (image.isNull())
        image = window()->screen()->grabWindow(window()->winId()).toImage();
    return image;
}

void WindowTest::opensWithoutWarnings()
{
    QVERIFY2(g_qmlWarnings.isEmpty(), qPrintable(g_qmlWarnings.join(QLatin1Char('\n'))));
}

void WindowTest::windowGeometry()
{
    QCOMPARE(window()->title(), QStringLiteral("TAVOX"));
    QCOMPARE(window()->size(), QSize(1540, 960));
    QCOMPARE(window()->minimumSize(), QSize(1540, 960));
    QCOMPARE(window()->color(), QColor(QStringLiteral("#f5f7fa")));
    QCOMPARE(window()->property("font").value<QFont>().family(), m_fontFamily);
}

void WindowTest::startupHintShownOnce()
{
    QCOMPARE(m_bridge->messageLog().count(QStringLiteral("请您先打开串口")), 1);
}

void WindowTest::grabsBothLanguages_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("serialSwitch");
    QTest::addColumn<QString>("clearButton");

    QTest::newRow("zh") << "zh" << QStringLiteral("版本号: 1.0.5") << QStringLiteral("串口开关") << QStringLiteral("清除");
    QTest::newRow("en") << "en" << "Version: 1.0.5" << "Serial Switch" << "Clear";
}

void WindowTest::grabsBothLanguages()
{
    QFETCH(QString, language);

    QSignalSpy logChanged(m_bridge.get(), &AppBridge::messageLogChanged);
    m_bridge->setLanguage(language);
    if (m_bridge->language() != language || logChanged.isEmpty()) {
        // a switch empties the log through a queued change; an unchanged language does nothing
        logChanged.wait(1000);
    }

    QTEST(itemText("versionLabel"), "version");
    QTEST(itemText("serialSwitchLabel"), "serialSwitch");
    QTEST(itemText("clearButton"), "clearButton");

    const QImage image = grabRenderedFrame();
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(1540, 960));
    const QString path = QStringLiteral(TAVOX_BINARY_DIR "/window-%1.png").arg(language);
    QVERIFY(image.save(path));

    QVERIFY2(g_qmlWarnings.isEmpty(), qPrintable(g_qmlWarnings.join(QLatin1Char('\n'))));
}

void WindowTest::serialSwitchDrivesTheRealPort()
{
    QCOMPARE(item("serialPortCombo")->property("currentText").toString(), m_device.slaveName());

    click("serialSwitch");
    QTRY_VERIFY(m_bridge->serialOpened());
    QVERIFY(item("serialSwitch")->property("checked").toBool());
    QVERIFY(!item("serialPortCombo")->isEnabled());
    QVERIFY(!item("serialBaudCombo")->isEnabled());

    click("serialSwitch");
    QTRY_VERIFY(!m_bridge->serialOpened());
    QVERIFY(!item("serialSwitch")->property("checked").toBool());
    QVERIFY(item("serialPortCombo")->isEnabled());
    QVERIFY2(g_qmlWarnings.isEmpty(), qPrintable(g_qmlWarnings.join(QLatin1Char('\n'))));
}

void WindowTest::unpluggedPortTurnsTheSwitchOff()
{
    click("serialSwitch");
    QTRY_VERIFY(m_bridge->serialOpened());

    m_device.closeMaster();
    QTRY_VERIFY(!m_bridge->serialOpened());
    QVERIFY(!item("serialSwitch")->property("checked").toBool());
    QVERIFY(item("refreshButton")->isEnabled());
    QVERIFY2(g_qmlWarnings.isEmpty(), qPrintable(g_qmlWarnings.join(QLatin1Char('\n'))));
}

QTEST_MAIN(WindowTest)

#include "tst_window.moc"
