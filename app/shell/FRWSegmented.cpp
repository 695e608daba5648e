#include "FRWSegmented.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "FRWAppearance.h"
#include "FRWTheme.h"

namespace {
constexpr qreal kTrackRadius = 7;
constexpr qreal kThumbRadius = 5.5;
constexpr qreal kThumbInset = 2;
constexpr int kMinimumLabelWidth = 30;
constexpr int kLabelPadding = 22;

QFont labelFont()
{
    return FRWTheme::font(11, QFont::DemiBold);
}
} // namespace

FRWSegmented::FRWSegmented(QStringList labels, QWidget* parent) : QWidget(parent), m_labels(std::move(labels))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, &FRWSegmented::restyle);
}

void FRWSegmented::setSelectedIndex(int index)
{
    if (index < 0 || index >= m_labels.size() || index == m_selectedIndex) {
        return;
    }
    m_selectedIndex = index;
    restyle();
}

void FRWSegmented::restyle()
{
    update();
}

double FRWSegmented::segmentWidth() const
{
    return m_labels.isEmpty() ? 0 : width() / static_cast<double>(m_labels.size());
}

int FRWSegmented::segmentAt(double x) const
{
    const double segment = segmentWidth();
    if (m_labels.isEmpty() || segment <= 0 || !std::isfinite(x)) {
        return 0;
    }
    const double slot = std::floor(x / segment);
    return static_cast<int>(std::clamp(slot, 0.0, static_cast<double>(m_labels.size() - 1)));
}

QRectF FRWSegmented::thumbRect() const
{
    const double segment = segmentWidth();
    return QRectF(m_selectedIndex * segment, 0, segment, height())
        .adjusted(kThumbInset, kThumbInset, -kThumbInset, -kThumbInset);
}

QSize FRWSegmented::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    int widest = kMinimumLabelWidth;
    for (const QString& label : m_labels) {
        widest = std::max(widest, metrics.horizontalAdvance(label));
    }
    return {static_cast<int>(m_labels.size()) * (widest + kLabelPadding), kHeight};
}

void FRWSegmented::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()), kTrackRadius, kTrackRadius);
    painter.fillPath(track, FRWTheme::buttonHovered().resolved());

    if (!m_labels.isEmpty()) {
        const QRectF thumb = thumbRect();
        // A soft shadow half a point below the thumb, as a few widening translucent rings.
        for (int ring = 2; ring >= 1; --ring) {
            QPainterPath shadow;
            const QRectF r =
                thumb.translated(0, 0.5).adjusted(-ring * 0.5, -ring * 0.5, ring * 0.5, ring * 0.5);
            shadow.addRoundedRect(r, kThumbRadius + ring * 0.5, kThumbRadius + ring * 0.5);
            painter.fillPath(shadow, QColor(0, 0, 0, ring == 1 ? 22 : 12));
        }
        QPainterPath thumbPath;
        thumbPath.addRoundedRect(thumb, kThumbRadius, kThumbRadius);
        painter.fillPath(thumbPath, FRWTheme::cardBackground().resolved());
    }

    painter.setFont(labelFont());
    const double segment = segmentWidth();
    for (int i = 0; i < m_labels.size(); ++i) {
        painter.setPen(i == m_selectedIndex ? FRWTheme::primaryText().resolved()
                                            : FRWTheme::secondaryLabel().resolved());
        painter.drawText(QRectF(i * segment, 0, segment, height()), Qt::AlignCenter, m_labels[i]);
    }
}

void FRWSegmented::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || m_labels.isEmpty()) {
        return;
    }
    const int index = segmentAt(event->position().x());
    if (index == m_selectedIndex) {
        return;
    }
    m_selectedIndex = index;
    restyle();
    if (onChange) {
        onChange(index);
    }
}
