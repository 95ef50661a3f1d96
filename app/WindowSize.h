#pragma once

#include <QSize>

// The size the window's layout was drawn for: it opens at this size wherever
// the screen has room for it.
constexpr QSize designWindowSize() { return QSize(1540, 960); }

// Below this the panels would be too narrow for their controls, even one column wide.
constexpr QSize minimumWindowSize() { return QSize(1024, 640); }

// The design size where the screen's available area allows it; otherwise as
// much of that area as there is, and never less than the minimum size.
QSize initialWindowSize(const QSize &availableArea);
