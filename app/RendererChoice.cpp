#include "app/RendererChoice.h"

#include <QDir>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>

namespace {
const char *const UserSettings[] = { "QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QSG_RHI", "QSG_RHI_BACKEND" };
const char *const SoftwareRasterizers[] = { "llvmpipe", "softpipe", "swrast", "software rasterizer" };
const char *const SoftwareBackendSettings[] = { "QT_QUICK_BACKEND=software", "QMLSCENE_DEVICE=software" };
const char GlIntegrationVariable[] = "QT_XCB_GL_INTEGRATION";

QByteArray userSetting()
{
    for (const char *name : UserSettings) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return QByteArray(name) + '=' + value;
    }
    return QByteArray();
}

bool hasRenderNode()
{
    return !QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System).isEmpty();
}

QString probeGlRenderer()
{
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface))
        return QString();
    const auto *name = reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    const QString renderer = QString::fromLatin1(name ? name : "");
    context.doneCurrent();
    return renderer;
}
}

bool isSoftwareRasterizer(const QString &glRenderer)
{
    if (glRenderer.isEmpty())
        return true;
    for (const char *name : SoftwareRasterizers) {
        if (glRenderer.contains(QLatin1String(name), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

RendererChoice chooseRenderer(const QByteArray &userSetting, bool hasRenderNode,
                              const std::function<QString()> &glRenderer)
{
    if (!userSetting.isEmpty())
        return {QString(), QStringLiteral("as set by %1").arg(QString::fromLocal8Bit(userSetting)), true};
    // No render node means no GPU: OpenGL could only be a software rasteriser,
    // and loading one just to ask costs memory and time at every start.
    if (!hasRenderNode)
        return {QStringLiteral("software"), QStringLiteral("no GPU render node")};
    const QString renderer = glRenderer();
    if (isSoftwareRasterizer(renderer))
        return {QStringLiteral("software"),
                QStringLiteral("OpenGL renderer is %1").arg(renderer.isEmpty() ? QStringLiteral("unavailable") : renderer)};
    return {QString(), QStringLiteral("OpenGL renderer %1").arg(renderer)};
}

RendererChoice applyRendererChoice()
{
    const RendererChoice choice = chooseRenderer(userSetting(), hasRenderNode(), probeGlRenderer);
    if (!choice.backend.isEmpty())
        QQuickWindow::setSceneGraphBackend(choice.backend);
    return choice;
}

bool canLeaveOpenGlUnloaded(const QByteArray &userSetting, bool userChoseGlIntegration, bool hasRenderNode)
{
    if (userChoseGlIntegration)
        return false;
    if (userSetting.isEmpty())
        return !hasRenderNode;
    for (const char *setting : SoftwareBackendSettings) {
        if (userSetting == setting)
            return true;
    }
    return false;
}

void leaveOpenGlUnloadedWhenUnused()
{
    if (canLeaveOpenGlUnloaded(userSetting(), qEnvironmentVariableIsSet(GlIntegrationVariable), hasRenderNode()))
        qputenv(GlIntegrationVariable, "none");
}
