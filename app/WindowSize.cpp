#include "app/WindowSize.h"

QSize initialWindowSize(const QSize &availableArea)
{
    return designWindowSize().boundedTo(availableArea).expandedTo(minimumWindowSize());
}
