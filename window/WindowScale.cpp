#include "window/WindowScale.h"

#include "app/Config.h"
#include "window/WindowSize.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
const qreal Steps[] = {0.75, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0};
// Half the narrowest gap between steps tells a step from its neighbour; less
// than that is how a decimal factor reads back.
const qreal SameStep = 0.001;
const int SaveAfterMs = 500;

qreal nearestStep(qreal scale)
{
    return *std::min_element(std::begin(Steps), std::end(Steps), [scale](qreal a, qreal b) {
        return std::abs(a - scale) < std::abs(b - scale);
    });
}
}

WindowScale::WindowScale(QObject *parent)
    : QObject(parent)
    , m_scale(storedScale())
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(SaveAfterMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &WindowScale::save);
}

WindowScale::~WindowScale()
{
    if (m_saveTimer.isActive())
        save();
}

qreal WindowScale::storedScale()
{
    const qreal stored = readWindowScale();
    const bool inRange = stored >= Steps[0] - SameStep && stored <= std::end(Steps)[-1] + SameStep;
    return inRange ? nearestStep(stored) : 1.0;
}

bool WindowScale::canZoomIn() const
{
    return m_scale < std::end(Steps)[-1] - SameStep;
}

bool WindowScale::canZoomOut() const
{
    return m_scale > Steps[0] + SameStep;
}

void WindowScale::setAvailableArea(const QSize &area)
{
    if (area == m_availableArea)
        return;
    m_availableArea = area;
    emit sizesChanged();
}

QSize WindowScale::minimumSize() const
{
    return minimumWindowSize(m_scale, m_availableArea);
}

bool WindowScale::fillsTheScreen() const
{
    return ::fillsTheScreen(m_scale, m_availableArea);
}

void WindowScale::zoomIn()
{
    const auto *larger = std::find_if(std::begin(Steps), std::end(Steps),
                                      [this](qreal step) { return step > m_scale + SameStep; });
    if (larger != std::end(Steps))
        setScale(*larger);
}

void WindowScale::zoomOut()
{
    const auto smaller = std::find_if(std::rbegin(Steps), std::rend(Steps),
                                      [this](qreal step) { return step < m_scale - SameStep; });
    if (smaller != std::rend(Steps))
        setScale(*smaller);
}

void WindowScale::resetZoom()
{
    setScale(1.0);
}

void WindowScale::setScale(qreal scale)
{
    if (qFuzzyCompare(scale, m_scale))
        return;
    m_scale = scale;
    m_saveTimer.start();
    emit scaleChanged();
    emit sizesChanged();
}

void WindowScale::save()
{
    m_saveTimer.stop();
    writeWindowScale(m_scale);
}
