#include "FRWLineChart.h"

#include <algorithm>
#include <cmath>

#include <QLinearGradient>
#include <QPainter>
#include <QVariantAnimation>

#include "FRWAppearance.h"

namespace {
constexpr double kInset = 2;
constexpr double kLineWidth = 2;
constexpr double kRescaleThreshold = 0.5;
constexpr double kSlideFactor = 1.25;

// Both paths come from the same number of points, so a morph is an element-wise blend.
QPainterPath blend(const QPainterPath& from, const QPainterPath& to, double progress)
{
    if (from.elementCount() != to.elementCount() || progress >= 1.0) {
        return to;
    }
    QPainterPath result = to;
    for (int i = 0; i < to.elementCount(); ++i) {
        const QPainterPath::Element a = from.elementAt(i);
        const QPainterPath::Element b = to.elementAt(i);
        result.setElementPositionAt(i, a.x + (b.x - a.x) * progress, a.y + (b.y - a.y) * progress);
    }
    return result;
}
} // namespace

FRWLineChart::FRWLineChart(QWidget* parent)
    : QWidget(parent)
    , m_tint(FRWTheme::accentBlue())
    , m_slide(new QVariantAnimation(this))
    , m_rescale(new QVariantAnimation(this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_slide->setEasingCurve(QEasingCurve::Linear);
    connect(m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_slideOffset = value.toDouble();
        update();
    });
    connect(m_slide, &QVariantAnimation::finished, this, [this] {
        m_slideOffset = 0;
        update();
    });
    m_rescale->setEasingCurve(QEasingCurve::Linear);
    connect(m_rescale, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_rescaleProgress = value.toDouble();
        update();
    });
    connect(m_rescale, &QVariantAnimation::finished, this, [this] {
        m_rescaleProgress = 1.0;
        update();
    });
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
}

void FRWLineChart::setValues(const QList<double>& values)
{
    if (values == m_values) {
        return;
    }
    const bool slides = isOneStepAfter(values, m_values);
    m_values = values;
    rebuildPaths(slides, true);
}

void FRWLineChart::setTint(const FRWDynamicColor& tint)
{
    m_tint = tint;
    update();
}

void FRWLineChart::setFilled(bool filled)
{
    m_filled = filled;
    update();
}

void FRWLineChart::setSampleInterval(double seconds)
{
    m_sampleInterval = std::isfinite(seconds) && seconds > 0 ? seconds : 1.0;
}

bool FRWLineChart::isSliding() const
{
    return m_slide->state() == QAbstractAnimation::Running;
}

bool FRWLineChart::isRescaling() const
{
    return m_rescale->state() == QAbstractAnimation::Running;
}

double FRWLineChart::maxFor(const QList<double>& values)
{
    double m = 1;
    for (double value : values) {
        if (std::isfinite(value)) {
            m = std::max(m, value);
        }
    }
    m_prevMax = std::max(1.0, m_smoothMax);
    if (m_smoothMax <= 0 || m_smoothMax < m) {
        m_smoothMax = m;
    } else {
        m_smoothMax = m_smoothMax + (m - m_smoothMax) * 0.25;
    }
    return std::max(1.0, m_smoothMax);
}

bool FRWLineChart::isOneStepAfter(const QList<double>& next, const QList<double>& previous)
{
    if (previous.size() < 2 || next.size() != previous.size()) {
        return false;
    }
    for (qsizetype i = 0; i + 1 < next.size(); ++i) {
        if (next[i] != previous[i + 1]) {
            return false;
        }
    }
    return true;
}

QPainterPath FRWLineChart::newPathFor(const QList<double>& values, double scale, double step,
                                      const QSizeF& size, bool closing)
{
    QPainterPath path;
    const double h = size.height();
    const double span = h - 2 * kInset;
    const double safeScale = scale > 0 ? scale : 1;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const double value = std::isfinite(values[i]) ? values[i] : 0;
        const QPointF point((static_cast<double>(i) - 1) * step, h - (value / safeScale * span + kInset));
        if (i == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    if (closing && !values.isEmpty()) {
        path.lineTo(size.width(), h);
        path.lineTo(-step, h);
        path.closeSubpath();
    }
    return path;
}

void FRWLineChart::resizeEvent(QResizeEvent*)
{
    rebuildPaths(false, false);
}

void FRWLineChart::stopAnimations()
{
    m_slide->stop();
    m_rescale->stop();
    m_slideOffset = 0;
    m_rescaleProgress = 1.0;
}

void FRWLineChart::rebuildPaths(bool animated, bool advanceScale)
{
    const double w = width();
    const double h = height();
    if (w <= 0 || h <= 0) {
        return;
    }
    if (m_values.size() < 2) {
        m_showBaseline = true;
        m_linePath = QPainterPath();
        m_fillPath = QPainterPath();
        stopAnimations();
        update();
        return;
    }
    m_showBaseline = false;
    const qsizetype n = m_values.size();
    const double step = n > 2 ? w / static_cast<double>(n - 2) : w;

    double scale = 0;
    if (advanceScale) {
        scale = maxFor(m_values);
    } else {
        // A resize re-draws at the scale in use; only new values move the smoothing. It still
        // jumps up when the values outgrew it, so the line never leaves the chart.
        double m = 1;
        for (double value : m_values) {
            if (std::isfinite(value)) {
                m = std::max(m, value);
            }
        }
        if (m_smoothMax <= 0 || m_smoothMax < m) {
            m_smoothMax = m;
        }
        scale = std::max(1.0, m_smoothMax);
    }

    const QSizeF size(w, h);
    m_linePath = newPathFor(m_values, scale, step, size, false);
    m_fillPath = newPathFor(m_values, scale, step, size, true);

    if (!animated) {
        stopAnimations();
        update();
        return;
    }

    const int duration = std::max(1, static_cast<int>(std::lround(m_sampleInterval * kSlideFactor * 1000)));
    // Restarting replaces the running slide, as a new animation under the same key would.
    m_slide->stop();
    m_slide->setDuration(duration);
    m_slide->setStartValue(step);
    m_slide->setEndValue(0.0);
    m_slideOffset = step;
    m_slide->start();

    if (std::abs(scale - m_prevMax) > kRescaleThreshold) {
        m_lineFrom = newPathFor(m_values, m_prevMax, step, size, false);
        m_fillFrom = newPathFor(m_values, m_prevMax, step, size, true);
        m_rescale->stop();
        m_rescale->setDuration(duration);
        m_rescale->setStartValue(0.0);
        m_rescale->setEndValue(1.0);
        m_rescaleProgress = 0;
        m_rescale->start();
    }
    update();
}

void FRWLineChart::paintEvent(QPaintEvent*)
{
    // Time runs left to right on a right-to-left page too, as the clock times and figures on it do.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor tint = m_tint.resolved();

    if (m_showBaseline) {
        QColor baseline = tint;
        baseline.setAlphaF(0.45f);
        painter.setPen(QPen(baseline, kLineWidth, Qt::SolidLine, Qt::RoundCap));
        const double y = height() - kInset;
        painter.drawLine(QPointF(0, y), QPointF(width(), y));
        return;
    }

    painter.setClipRect(rect());
    painter.translate(m_slideOffset, 0);
    const bool morphing = m_rescale->state() == QAbstractAnimation::Running;
    if (m_filled) {
        QLinearGradient gradient(QPointF(0, 0), QPointF(0, height()));
        QColor top = tint;
        top.setAlphaF(0.3f);
        QColor bottom = tint;
        bottom.setAlphaF(0);
        gradient.setColorAt(0, top);
        gradient.setColorAt(1, bottom);
        painter.fillPath(morphing ? blend(m_fillFrom, m_fillPath, m_rescaleProgress) : m_fillPath, gradient);
    }
    painter.setPen(QPen(tint, kLineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(morphing ? blend(m_lineFrom, m_linePath, m_rescaleProgress) : m_linePath);
}
