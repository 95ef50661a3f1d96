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
