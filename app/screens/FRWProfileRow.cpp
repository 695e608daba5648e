#include "FRWProfileRow.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "FRWDirection.h"
#include "FRWElidedLabel.h"
#include "FRWTheme.h"

namespace {
constexpr qreal kCornerRadius = 7;
constexpr int kDot = 7;
constexpr int kDotLeft = 10;
constexpr int kDotGap = 8;
} // namespace

FRWProfileRow::FRWProfileRow(FRWProfilePtr profile, bool active, bool selected, QWidget* parent)
    : QWidget(parent), m_profile(std::move(profile)), m_active(active), m_selected(selected)
{
    FRWPressable::installAccessibility();
    setObjectName(QStringLiteral("profileRow"));
    setFixedHeight(kHeight);
    setAttribute(Qt::WA_Hover);
    auto* layout = new QHBoxLayout(this);
    // The name starts past the active dot's place, whether or not the dot is shown.
    layout->setContentsMargins(kDotLeft + kDot + kDotGap, 0, 8, 0);
    auto* name = new FRWElidedLabel(Qt::ElideRight);
    name->setFullText(m_profile ? m_profile->name : QString());
    name->setObjectName(QStringLiteral("nameLabel"));
    name->setFont(FRWTheme::font(13, QFont::Medium));
    name->setAlignment(FRWDirection::leading(QGuiApplication::layoutDirection()) | Qt::AlignVCenter);
    FRWTheme::bindTextColor(name, FRWTheme::primaryText());
    layout->addWidget(name, 1);
    setAccessibleName(name->fullText());
}

QString FRWProfileRow::name() const
{
    return m_profile ? m_profile->name : QString();
}

void FRWProfileRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    std::optional<QColor> fill;
    if (m_selected) {
        fill = FRWTheme::buttonHighlighted().resolved();
    } else if (m_hovered) {
        fill = FRWTheme::buttonHovered().resolved();
    }
    if (fill) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(*fill);
        painter.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    }
    if (m_active) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(FRWTheme::statusGreen().resolved());
        // The dot leads the name: on the right in a right-to-left layout.
        const QRect dot(kDotLeft, (height() - kDot) / 2, kDot, kDot);
        painter.drawEllipse(QRectF(QStyle::visualRect(layoutDirection(), rect(), dot)));
    }
}

bool FRWProfileRow::performAccessiblePress()
{
    emit clicked(m_profile);
    return true;
}

void FRWProfileRow::addAccessibleState(QAccessible::State& state) const
{
    state.selectable = true;
    state.selected = m_selected;
}

QString FRWProfileRow::accessibleDescription() const
{
    return m_active ? tr("In use") : QString();
}

void FRWProfileRow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked(m_profile);
        return;
    }
    QWidget::mousePressEvent(event);
}

void FRWProfileRow::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QWidget::enterEvent(event);
}

void FRWProfileRow::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QWidget::leaveEvent(event);
}
