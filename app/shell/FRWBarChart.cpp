#include "FRWBarChart.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "FRWAppearance.h"

namespace {
constexpr double kTopInset = 2;
constexpr double kMinimumBar = 2;

double finiteOrZero(double value)
{
    return std::isfinite(value) ? value : 0;
}
} // namespace

FRWBarChart::FRWBarChart(QWidget* parent) : QWidget(parent), m_tint(FRWTheme::cyan())
{
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
}

void FRWBarChart::setValues(const QList<double>& values)
{
    m_values = values;
    update();
}

void FRWBarChart::setTint(const FRWDynamicColor& tint)
{
    m_tint = tint;
    update();
}

QList<QRectF> FRWBarChart::barRects(const QList<double>& values, const QSizeF& size)
{
    const double plot = size.height() - kAxisHeight - kTopInset;
    if (plot < 4 || size.width() <= 0) {
        return {};
    }
    const qsizetype slotCount = std::max<qsizetype>(values.size(), kMinimumSlots);
    const double slot = size.width() / static_cast<double>(slotCount);
    double largest = 1;
    for (double value : values) {
        largest = std::max(largest, finiteOrZero(value));
    }
    const double bar = std::max(slot * 0.5, kMinimumBar);
    QList<QRectF> rects;
    rects.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        const double value = finiteOrZero(values[i]);
        // Tiny and empty hours still show a 2-high stub, so the hour is visibly there.
        const double h = value > 0 ? std::max(value / largest * plot, kMinimumBar) : kMinimumBar;
        const double x = static_cast<double>(i) * slot + (slot - bar) / 2;
        rects.append(QRectF(x, size.height() - kAxisHeight - h, bar, h));
    }
    return rects;
}

void FRWBarChart::paintEvent(QPaintEvent*)
{
    // Time runs left to right on a right-to-left page too, as the clock times and figures on it do.
    const QSizeF size = this->size();
    if (size.height() - kAxisHeight - kTopInset < 4) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QList<QRectF> rects = barRects(m_values, size);
    const QColor full = m_tint.resolved();
    const QColor faint = m_tint.resolvedWithAlpha(0.28);
    for (qsizetype i = 0; i < rects.size(); ++i) {
        const QRectF& r = rects[i];
        const double radius = std::min(r.width(), r.height()) / 2;
        QPainterPath bar;
        bar.addRoundedRect(r, radius, radius);
        painter.fillPath(bar, finiteOrZero(m_values[i]) > 0 ? full : faint);
    }

    const qsizetype slotCount = std::max<qsizetype>(m_values.size(), kMinimumSlots);
    const double slot = size.width() / static_cast<double>(slotCount);
    painter.setFont(FRWTheme::font(9));
    painter.setPen(FRWTheme::secondaryLabel().resolved());
    const std::pair<int, const char*> labels[] = {{0, "12AM"}, {6, "6AM"}, {12, "12PM"}, {18, "6PM"}};
    for (const auto& [index, text] : labels) {
        const QRectF area(index * slot, size.height() - kAxisHeight, slot * 6, kAxisHeight);
        painter.drawText(area, Qt::AlignAbsolute | Qt::AlignLeft | Qt::AlignBottom,
                         QString::fromLatin1(text));
    }
}
