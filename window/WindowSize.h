#pragma once

#include <QSize>

// Window sizes in the desktop's logical pixels for a window zoomed to `scale`
// (1.0 at 100 %), every size of the layout being drawn `scale` times larger.

// The size the window's layout was drawn for at 100 %: it opens at this size,
// scaled, wherever the screen has room for it.
constexpr QSize designWindowSize() { return QSize(1540, 960); }

// At 100 %, below this the panels would be too narrow for their controls,
// even one column wide.
constexpr QSize layoutFloor() { return QSize(1024, 640); }

// What a window manager's frame and title bar take of the available area
// around the window's own content (a maximised window keeps its title bar).
constexpr QSize frameAllowance() { return QSize(16, 48); }

// The layout's floor at `scale`, though never more than the available area
// less the frame: on a smaller screen the content scrolls instead of
// running off it. An unknown (empty) area bounds nothing.
QSize minimumWindowSize(qreal scale, const QSize &availableArea);

// The design size at `scale` where the available area allows it; otherwise as
// much of that area as there is, and never less than the minimum size.
QSize initialWindowSize(qreal scale, const QSize &availableArea);

// Whether the window should take the whole working area, maximised: it is
// smaller than the design size at `scale`.
bool fillsTheScreen(qreal scale, const QSize &availableArea);
