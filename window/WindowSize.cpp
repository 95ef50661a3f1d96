#include "window/WindowSize.h"

namespace {
QSize scaled(const QSize &size, qreal scale)
{
    return QSize(qRound(size.width() * scale), qRound(size.height() * scale));
}
}

QSize minimumWindowSize(qreal scale, const QSize &availableArea)
{
    const QSize floor = scaled(layoutFloor(), scale);
    if (availableArea.isEmpty())
        return floor;
    return floor.boundedTo((availableArea - frameAllowance()).expandedTo(QSize(1, 1)));
}

QSize initialWindowSize(qreal scale, const QSize &availableArea)
{
    return scaled(designWindowSize(), scale).boundedTo(availableArea).expandedTo(minimumWindowSize(scale, availableArea));
}

bool fillsTheScreen(qreal scale, const QSize &availableArea)
{
    const QSize design = scaled(designWindowSize(), scale);
    return !availableArea.isEmpty()
        && (availableArea.width() < design.width() || availableArea.height() < design.height());
}
