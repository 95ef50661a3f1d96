#pragma once

class QQuickWindow;

// When TAVOX_SCREENSHOT names a file, the window is saved there shortly after
// its first frame and the application quits: how ./scripts/run shows the
// window on a machine without a display.
void saveScreenshotOnStartIfAsked(QQuickWindow *window);
