#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Which scene graph backend the window draws with. Without a GPU, Qt Quick's
// OpenGL renderer runs on a software rasteriser that redraws the whole window
// for every change; the software backend repaints only what changed.
struct RendererChoice
{
    QString backend;   // empty: Qt's default (OpenGL), or the user's own setting
    QString reason;
    bool userChosen = false;
};

// Decides from the user's own setting, whether the machine has a GPU render
// node, and (asked only when needed) the name of the OpenGL renderer.
RendererChoice chooseRenderer(const QByteArray &userSetting, bool hasRenderNode,
                              const std::function<QString()> &glRenderer);
bool isSoftwareRasterizer(const QString &glRenderer);

// Probes this machine, applies the choice before the first window exists and
// returns it for the start-up log.
RendererChoice applyRendererChoice();

// Qt's X11 platform loads the OpenGL driver stack (Mesa's, with LLVM: some 50 MiB)
// for the first widget window, a file dialog, even while the scene graph draws in
// software. It may be told not to (QT_XCB_GL_INTEGRATION=none) when the software
// backend is certain before the application object exists: the user's own setting
// asks for it, or none is set and there is no GPU render node. An integration the
// user chose stays theirs.
bool canLeaveOpenGlUnloaded(const QByteArray &userSetting, bool userChoseGlIntegration, bool hasRenderNode);
// Decides that for this machine; before the application object exists, which reads
// the variable.
void leaveOpenGlUnloadedWhenUnused();
