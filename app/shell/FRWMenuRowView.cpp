#include "FRWMenuRowView.h"

#include <cmath>

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include "FRWTheme.h"

namespace {

QFont badgeFont()
{
    return FRWTheme::font(11, QFont::Bold);
}

int ceilWidth(const QFont& font, const QString& text)
{
    return text.isEmpty() ? 0 : static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
}

} // namespace

FRWMenuRowView FRWMenuRowView::rowWithTitle(const QString& title, const QString& detail,
                                            const QString& badgeText, const QColor& badgeColor,
                                            bool hasSubmenu, bool dimmed, bool checked)
{
    FRWMenuRowView row;
    row.m_title = title;
    row.m_detail = detail;
    row.m_badgeText = badgeText;
    row.m_badgeColor = badgeColor;
    row.m_hasSubmenu = hasSubmenu;
    row.m_dimmed = dimmed;
    row.m_checked = checked;
    return row;
}

QFont FRWMenuRowView::font()
{
    return QApplication::font("QMenu");
}

int FRWMenuRowView::widthOf(const QString& text)
{
    return ceilWidth(font(), text);
}

int FRWMenuRowView::badgeWidth() const
{
    if (m_badgeText.isEmpty()) {
        return 0;
    }
    return std::max(22, ceilWidth(badgeFont(), m_badgeText) + 12);
}

int FRWMenuRowView::preferredWidth() const
{
    const double right = m_badgeText.isEmpty() ? widthOf(m_detail) : badgeWidth();
    return static_cast<int>(std::ceil(widthOf(m_title) + 34 + 24 + right + 10 + (m_hasSubmenu ? 17 : 0)));
}

void FRWMenuRowView::paint(QPainter& painter, const QRectF& bounds, bool highlighted) const
{
    const QPalette palette = QApplication::palette("QMenu");
    const qreal mid = bounds.center().y();
    qreal right = bounds.right() - 10;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Measured left to right, then mirrored within the row on a right-to-left menu.
    const bool rtl = painter.layoutDirection() == Qt::RightToLeft;
    const auto at = [&bounds, rtl](const QRectF& part) {
        return rtl ? QRectF(bounds.left() + bounds.right() - part.right(), part.top(), part.width(),
                            part.height())
                   : part;
    };
    const auto side = [rtl](int align) -> int {
        if (rtl && !(align & Qt::AlignHCenter)) {
            align = (align & Qt::AlignLeft) ? Qt::AlignRight : Qt::AlignLeft;
        }
        return Qt::AlignAbsolute | align;
    };

    const QColor selectedText = palette.color(QPalette::HighlightedText);
    QColor text;
    QColor detailColor;
    if (highlighted) {
        painter.fillRect(bounds, palette.color(QPalette::Highlight));
        text = selectedText;
        detailColor = selectedText;
    } else {
        text = m_dimmed ? palette.color(QPalette::Disabled, QPalette::Text) : palette.color(QPalette::Text);
        detailColor = FRWTheme::secondaryLabel().resolved();
    }
    const auto centred = [&](const QFont& font, qreal left, qreal width, const QString& string, int align) {
        painter.setFont(font);
        painter.drawText(at(QRectF(left, bounds.top(), width, bounds.height())),
                         side(align) | Qt::AlignVCenter, string);
    };
    if (m_checked) {
        painter.setPen(text);
        centred(FRWTheme::font(13, QFont::Bold), bounds.left(), 34 - 6, QStringLiteral("\u2713"),
                Qt::AlignRight);
    }
    // Whatever the right side holds is kept; only a title too long for the widest menu is shortened.
    const qreal rightSide = (m_hasSubmenu ? 17 : 0) +
                            (m_badgeText.isEmpty() ? widthOf(m_detail) : badgeWidth()) + 10 +
                            (m_badgeText.isEmpty() && m_detail.isEmpty() ? 0 : 24);
    const qreal titleRoom = std::max<qreal>(0, bounds.width() - 34 - rightSide);
    painter.setPen(text);
    centred(font(), bounds.left() + 34, titleRoom,
            QFontMetricsF(font()).elidedText(m_title, Qt::ElideRight, titleRoom), Qt::AlignLeft);

    if (m_hasSubmenu) {
        const qreal boxLeft = right - 11;
        QPainterPath chevron;
        // Pointing the way the submenu opens.
        const auto x = [&bounds, rtl](qreal ltr) { return rtl ? bounds.left() + bounds.right() - ltr : ltr; };
        chevron.moveTo(x(boxLeft + 2), mid - 4);
        chevron.lineTo(x(boxLeft + 9), mid);
        chevron.lineTo(x(boxLeft + 2), mid + 4);
        QPen pen(highlighted ? selectedText : FRWTheme::tertiaryLabel().resolved(), 1.6);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.strokePath(chevron, pen);
        right -= 17;
    }
    if (!m_badgeText.isEmpty()) {
        const QRectF badge = at(QRectF(right - badgeWidth(), mid - 7.5, badgeWidth(), 15));
        QPainterPath shape;
        shape.addRoundedRect(badge, 4, 4);
        const QColor fill = m_badgeColor.isValid() ? m_badgeColor : FRWTheme::statusBlue().resolved();
        painter.fillPath(shape, highlighted ? selectedText : fill);
        painter.setPen(highlighted ? palette.color(QPalette::Highlight) : QColor(Qt::white));
        painter.setFont(badgeFont());
        painter.drawText(badge, Qt::AlignCenter, m_badgeText);
    } else if (!m_detail.isEmpty()) {
        painter.setPen(detailColor);
        // Figures such as 5.3 MB read left to right in every script.
        centred(font(), bounds.left(), right - bounds.left(), m_detail,
                Qt::AlignRight | Qt::TextForceLeftToRight);
    }
    painter.restore();
}
