#include "app/Startup.h"

#include "app/DebugConsole.h"
#include "app/QtTranslations.h"
#include "app/RendererChoice.h"
#include "app/StartupProbe.h"
#include "bridge/AppBridge.h"
#include "window/QuickAccessibility.h"
#include "window/WindowScale.h"
#include "window/WindowSize.h"
#include "window/WindowState.h"
#include "log/AppLog.h"
#include "log/elog.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QScreen>

#include <csignal>
#include <sys/resource.h>

namespace {
const char FallbackFamily[] = "Microsoft YaHei";
const int AppFontPixelSize = 14;

const char *const PreferredFamilies[] = {
    "思源黑体", "思源黑体 SC", "Source Han Sans SC", "Source Han Sans CN", "Noto Sans CJK SC",
};

const char *const FontFileLocations[] = {
    "/icon/fonts/SourceHanSansSC-Regular.otf",
    "/../icon/fonts/SourceHanSansSC-Regular.otf",
    "/fonts/SourceHanSansSC-Regular.otf",
};

QString installedPreferredFamily()
{
    const QStringList installed = QFontDatabase().families();
    for (const char *name : PreferredFamilies) {
        const QString family = QString::fromUtf8(name);
        if (!installed.contains(family))
            continue;
        const QFont font(family);
        if (font.exactMatch() || font.family() == family)
            return family;
    }
    return QString();
}

QString bundledFontFile()
{
    for (const char *suffix : FontFileLocations) {
        const QString path = QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1String(suffix));
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

QString familyOfFontFile(const QString &path)
{
    const int id = QFontDatabase::addApplicationFont(path);
    if (id == -1)
        return QString();
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty())
        return QString();
    for (const QString &family : families) {
        if (QFont(family).exactMatch())
            return family;
    }
    return families.first();
}
}

void logStartupStep(const char *text)
{
    elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "%s", text);
}

void logSessionEnd(const QString &signalName)
{
    const QString text = signalName.isEmpty()
        ? QStringLiteral("========== TAVOX log session end ==========")
        : QStringLiteral("========== TAVOX log session end (closed by %1) ==========").arg(signalName);
    logStartupStep(text.toUtf8().constData());
}

void logRendererChoice(const RendererChoice &choice)
{
    // Which backend a user's setting names is Qt's to read; the record says whose choice it was.
    QString text = choice.userChosen
        ? QStringLiteral("Scene graph backend: %1").arg(choice.reason)
        : QStringLiteral("Scene graph backend: %1, %2")
              .arg(choice.backend.isEmpty() ? QStringLiteral("default (OpenGL)") : choice.backend, choice.reason);
    // The X11 OpenGL integration decides whether OpenGL can be had at all: the record names it, whoever set it.
    const QByteArray glIntegration = qgetenv("QT_XCB_GL_INTEGRATION");
    if (!glIntegration.isEmpty())
        text += QStringLiteral("; QT_XCB_GL_INTEGRATION=%1").arg(QString::fromLocal8Bit(glIntegration));
    logStartupStep(text.toUtf8().constData());
}

// Qt saves its QML disk cache through a buffered write that does not notice a failure, so under a file size
// limit a cache file could be kept cut short, and every later start of the window would crash loading it.
void outliveTheFileSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        qputenv("QML_DISABLE_DISK_CACHE", "1");
}

void announceDebugConsole(bool consoleInUse)
{
    // A terminal the tool was merely started from is in use too, but nobody switched the console on.
    if (consoleInUse && isDebugConsoleSwitchedOn())
        qDebug() << "Debug console enabled (Console/Enabled in zentaro.cfg)";
}

void startAppLog()
{
    if (!appLogInit())
        qWarning() << "AppLog init failed, file logging disabled.";
    else if (appLogFilePath().isEmpty())
        qDebug() << "App log file could not be opened, records go to the console only";
    else
        qDebug() << "App log file:" << appLogFilePath();
}

void reportConsoleAttachment()
{
    if (!isConsoleActive())
        logStartupStep("Console not attached, output goes to log file only");
}

QIcon installAppIcon()
{
    const QIcon icon(QStringLiteral(":/icon/icon.ico"));
    QApplication::setWindowIcon(icon);
    return icon;
}

QString resolveAppFontFamily()
{
    const QString installed = installedPreferredFamily();
    if (!installed.isEmpty())
        return installed;
    const QString file = bundledFontFile();
    return file.isEmpty() ? QString() : familyOfFontFile(file);
}

QString applyAppFont()
{
    logStartupStep("Loading embedded font...");
    const QString family = resolveAppFontFamily();
    elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "Font loaded: %s",
                family.isEmpty() ? "(fallback to Microsoft YaHei)" : family.toUtf8().constData());
    if (family.isEmpty())
        return QString::fromLatin1(FallbackFamily);
    QFont font(family);
    font.setPixelSize(AppFontPixelSize);
    QApplication::setFont(font);
    return family;
}

void printEngineWarnings(QQmlApplicationEngine &engine)
{
    QObject::connect(&engine, &QQmlEngine::warnings, [](const QList<QQmlError> &warnings) {
        for (const QQmlError &error : warnings)
            qWarning().noquote() << error.toString();
    });
}

void useFileDialogForUpgrades(AppBridge &bridge)
{
    bridge.setUpgradeFileChooser([](const QString &title, const QString &startDir, const QString &filter) {
        return QFileDialog::getOpenFileName(nullptr, title, startDir, filter);
    });
}

void translateQtWithTheWindow(AppBridge &bridge, const QQmlApplicationEngine &engine)
{
    QtTranslations::dropLocaleCatalogues(engine);
    auto *translations = new QtTranslations(&bridge);
    translations->follow(bridge.language());
    QObject::connect(&bridge, &AppBridge::languageChanged, translations,
                     [translations, &bridge] { translations->follow(bridge.language()); });
}

void publishToQml(QQmlApplicationEngine &engine, AppBridge &bridge, const QString &fontFamily)
{
    engine.rootContext()->setContextProperty(QStringLiteral("appBridge"), &bridge);
    engine.rootContext()->setContextProperty(QStringLiteral("appFontFamily"), fontFamily);
    const QScreen *screen = QGuiApplication::primaryScreen();
    engine.rootContext()->setContextProperty(
        QStringLiteral("initialWindowSize"),
        initialWindowSize(WindowScale::storedScale(), screen->availableGeometry().size()));
    engine.rootContext()->setContextProperty(QStringLiteral("designWindowSize"), designWindowSize());
    publishWindowState(*engine.rootContext(), bridge, engine);
    installQuickAccessibility(engine);
}

bool loadMainWindow(QQmlApplicationEngine &engine, const QIcon &icon)
{
    logStartupStep("Loading Main.qml...");
    engine.load(QUrl(QStringLiteral("qrc:/qml/Main.qml")));
    if (engine.rootObjects().isEmpty()) {
        elog_output(ELOG_LVL_ERROR, "app", nullptr, nullptr, 0, "%s", "QML load failed - no root objects");
        return false;
    }
    logStartupStep("QML loaded successfully, entering event loop...");
    if (auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first())) {
        window->setIcon(icon);
        armStartupProbes(window);
    }
    return true;
}
