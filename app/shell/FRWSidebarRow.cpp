#include "FRWSidebarRow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include "FRWAccessibility.h"
#include "FRWAppearance.h"
#include "FRWSymbols.h"
#include "FRWTheme.h"

namespace {
constexpr int kIconLeading = 14;
constexpr int kIconSize = 19;
constexpr int kLabelGap = 10;
constexpr int kTrailingSize = 13;
constexpr int kTrailingInset = 12;
constexpr qreal kCornerRadius = 8;
} // namespace

FRWSidebarRow::FRWSidebarRow(const QString& itemID, QWidget* parent) : QWidget(parent), m_itemID(itemID)
{
    FRWPressable::installAccessibility();
    setObjectName(QStringLiteral("sidebarRow_") + itemID);
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    // Only the selected row sits in the Tab chain; arrows move between rows.
    setFocusPolicy(Qt::ClickFocus);
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
}

void FRWSidebarRow::setTitle(const QString& title)
{
    m_title = title;
    update();
}

void FRWSidebarRow::setSymbol(const QString& symbol)
{
    m_symbol = symbol;
    update();
}

void FRWSidebarRow::setTrailingSymbol(const QString& symbol)
{
    m_trailingSymbol = symbol;
    update();
}

void FRWSidebarRow::setSelected(bool selected)
{
    setFocusPolicy(selected ? Qt::StrongFocus : Qt::ClickFocus);
    if (selected == m_selected) {
        return;
    }
    m_selected = selected;
    FRWFocus::announceState(this, false, true);
    update();
}

void FRWSidebarRow::addAccessibleState(QAccessible::State& state) const
{
    state.selectable = true;
    state.selected = m_selected;
}

void FRWSidebarRow::setHovered(bool hovered)
{
    m_hovered = hovered;
    update();
}

QColor FRWSidebarRow::backgroundColor() const
{
    if (m_selected) {
        return FRWTheme::selectionBackground().resolved();
    }
    if (m_hovered) {
        return FRWTheme::sidebarHover().resolved();
    }
    return Qt::transparent;
}

bool FRWSidebarRow::performAccessiblePress()
{
    if (onClick) {
        onClick(m_itemID);
    }
    return true;
}

QSize FRWSidebarRow::sizeHint() const
{
    const int trailing = m_trailingSymbol.isEmpty() ? 0 : kTrailingSize + 6;
    const int title = QFontMetrics(FRWTheme::font(14, QFont::Medium), this).horizontalAdvance(m_title) + 1;
    return {kIconLeading + kIconSize + kLabelGap + title + trailing + kTrailingInset, kHeight};
}

void FRWSidebarRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QColor fill = backgroundColor();
    if (fill.alpha() > 0) {
        QPainterPath background;
        background.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
        painter.fillPath(background, fill);
    }

    const qreal dpr = devicePixelRatioF();
    const int midY = height() / 2;
    const QPixmap icon =
        FRWSymbols::tinted(m_symbol, QSize(kIconSize, kIconSize), FRWTheme::sidebarTitle().resolved(), dpr);
    if (!icon.isNull()) {
        const QSize logical = icon.deviceIndependentSize().toSize();
        const QRect place(kIconLeading + (kIconSize - logical.width()) / 2, midY - logical.height() / 2,
                          logical.width(), logical.height());
        painter.drawPixmap(QStyle::visualRect(layoutDirection(), rect(), place).topLeft(), icon);
    }

    int textRight = width() - kTrailingInset;
    const QPixmap trailing = FRWSymbols::tinted(m_trailingSymbol, QSize(kTrailingSize, kTrailingSize),
                                                FRWTheme::sidebarHeader().resolved(), dpr);
    if (!trailing.isNull()) {
        const QSize logical = trailing.deviceIndependentSize().toSize();
        const QRect place(width() - kTrailingInset - logical.width(), midY - logical.height() / 2,
                          logical.width(), logical.height());
        painter.drawPixmap(QStyle::visualRect(layoutDirection(), rect(), place).topLeft(), trailing);
        textRight -= kTrailingSize + 6;
    }

    const int textLeft = kIconLeading + kIconSize + kLabelGap;
    painter.setFont(FRWTheme::font(14, QFont::Medium));
    painter.setPen(FRWTheme::sidebarTitle().resolved());
    const QRect textRect(textLeft, 0, std::max(0, textRight - textLeft), height());
    const QString text = painter.fontMetrics().elidedText(m_title, Qt::ElideRight, textRect.width());
    painter.drawText(QStyle::visualRect(layoutDirection(), rect(), textRect),
                     Qt::AlignLeft | Qt::AlignVCenter, text);
    if (FRWFocus::showsRing(this)) {
        FRWFocus::paintRing(painter, QRectF(rect()), kCornerRadius);
    }
}

void FRWSidebarRow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        emit stepRequested(event->key() == Qt::Key_Up ? -1 : 1);
        event->accept();
        return;
    }
    if (FRWFocus::isActivationKey(event) && !event->isAutoRepeat()) {
        performAccessiblePress();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FRWSidebarRow::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void FRWSidebarRow::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void FRWSidebarRow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && onClick) {
        onClick(m_itemID);
    }
    event->accept();
}

void FRWSidebarRow::enterEvent(QEnterEvent*)
{
    setHovered(true);
}

void FRWSidebarRow::leaveEvent(QEvent*)
{
    setHovered(false);
}
