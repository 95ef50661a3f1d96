#include "window/TelemetryPlot.h"

#include "window/TelemetryHistory.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
// Below this the scale would magnify sensor noise into wild traces.
const double SmallestHalfRange = 10.0;
const int GridSteps = 4;

float axisValue(const TelemetryHistory::Sample &sample, int axis)
{
    return axis == 0 ? sample.pitch : axis == 1 ? sample.roll : sample.yaw;
}

// A round step of about a quarter of the range: 5, 10, 20, 50, 100 …
double roundedUp(double value)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(value)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * magnitude >= value)
            return factor * magnitude;
    }
    return 10.0 * magnitude;
}
}

TelemetryPlot::TelemetryPlot(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setOpaquePainting(true);
    const auto gridChanged = [this] {
        m_gridStale = true;
        update();
    };
    connect(this, &TelemetryPlot::styleChanged, this, gridChanged);
    connect(this, &TelemetryPlot::scaleChanged, this, gridChanged);
    connect(this, &QQuickItem::widthChanged, this, gridChanged);
    connect(this, &QQuickItem::heightChanged, this, gridChanged);
    connect(this, &QQuickItem::visibleChanged, this, [this] {
        if (isVisible())
            onUpdated();
    });
}

void TelemetryPlot::setHistory(TelemetryHistory *history)
{
    if (history == m_history)
        return;
    disconnect(m_connection);
    m_history = history;
    if (history)
        m_connection = connect(history, &TelemetryHistory::updated, this, &TelemetryPlot::onUpdated);
    emit historyChanged();
    onUpdated();
}

void TelemetryPlot::onUpdated()
{
    if (!isVisible())
        return;
    updateScale();
    update();
}

void TelemetryPlot::updateScale()
{
    double largest = SmallestHalfRange;
    if (m_history) {
        for (int i = 0; i < m_history->sampleCount(); ++i) {
            const TelemetryHistory::Sample &s = m_history->sample(i);
            largest = std::max({largest, double(std::fabs(s.pitch)), double(std::fabs(s.roll)), double(std::fabs(s.yaw))});
        }
    }
    const double half = roundedUp(largest / (GridSteps / 2)) * (GridSteps / 2);
    if (half == m_maximum)
        return;
    m_minimum = -half;
    m_maximum = half;
    emit scaleChanged();
}

QRectF TelemetryPlot::plotArea() const
{
    const qreal left = m_fontPixelSize * 3.2;
    const qreal bottom = m_fontPixelSize * 1.6;
    return QRectF(left, m_fontPixelSize * 0.6, std::max<qreal>(0, width() - left - 4),
                  std::max<qreal>(0, height() - bottom - m_fontPixelSize * 0.6));
}

double TelemetryPlot::plotLeft() const
{
    return plotArea().left();
}

double TelemetryPlot::plotWidth() const
{
    return plotArea().width();
}

void TelemetryPlot::paint(QPainter *painter)
{
    const QRectF area = plotArea();
    if (area.width() < 1 || area.height() < 1)
        return;
    painter->drawImage(0, 0, gridImage());
    if (!m_history)
        return;
    // Plain one-pixel lines: the raster engine draws them several times faster
    // than smoothed ones, and the plot repaints with every heartbeat.
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setClipRect(area);
    paintTrace(painter, area, 0, m_pitchColor);
    paintTrace(painter, area, 1, m_rollColor);
    paintTrace(painter, area, 2, m_yawColor);
}

const QImage &TelemetryPlot::gridImage()
{
    const QSize size(qMax(1, int(width())), qMax(1, int(height())));
    if (!m_gridStale && m_grid.size() == size)
        return m_grid;
    m_grid = QImage(size, QImage::Format_ARGB32_Premultiplied);
    m_grid.fill(fillColor());
    QPainter painter(&m_grid);
    paintGrid(&painter, plotArea());
    m_gridStale = false;
    return m_grid;
}

void TelemetryPlot::paintGrid(QPainter *painter, const QRectF &area) const
{
    QFont font = painter->font();
    font.setPixelSize(int(m_fontPixelSize));
    painter->setFont(font);
    for (int step = 0; step <= GridSteps; ++step) {
        const qreal y = area.top() + area.height() * step / GridSteps;
        const double value = m_maximum - (m_maximum - m_minimum) * step / GridSteps;
        painter->setPen(QPen(m_gridColor, 1));
        painter->drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter->setPen(m_textColor);
        painter->drawText(QRectF(0, y - m_fontPixelSize, area.left() - 4, m_fontPixelSize * 2),
                          Qt::AlignRight | Qt::AlignVCenter, QString::number(value));
    }
    const int seconds = TelemetryHistory::WindowSeconds;
    for (int ago = 0; ago <= seconds; ago += 5) {
        const qreal x = area.right() - area.width() * ago / seconds;
        painter->setPen(QPen(m_gridColor, 1));
        painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter->setPen(m_textColor);
        // The newest label ends at the plot's edge rather than running past it.
        const QRectF box = ago == 0 ? QRectF(x - 60, area.bottom() + 2, 60, m_fontPixelSize * 1.4)
                                    : QRectF(x - 30, area.bottom() + 2, 60, m_fontPixelSize * 1.4);
        painter->drawText(box, ago == 0 ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignCenter,
                          ago == 0 ? QStringLiteral("0 s") : QStringLiteral("-%1").arg(ago));
    }
}

void TelemetryPlot::paintTrace(QPainter *painter, const QRectF &area, int axis, const QColor &color) const
{
    const int count = m_history->sampleCount();
    if (count == 0)
        return;
    const qint64 end = m_history->endMs();
    const double msPerPixel = TelemetryHistory::WindowSeconds * 1000.0 / area.width();
    const double valuePerPixel = (m_maximum - m_minimum) / area.height();
    QPolygonF line;
    line.reserve(count);
    for (int i = 0; i < count; ++i) {
        const TelemetryHistory::Sample &s = m_history->sample(i);
        line.append(QPointF(area.right() - (end - s.ms) / msPerPixel,
                            area.top() + (m_maximum - axisValue(s, axis)) / valuePerPixel));
    }
    painter->setPen(QPen(color, 1));
    painter->drawPolyline(line);
}
