#include "FRWOverviewCard.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "FRWAppearance.h"
#include "FRWDirection.h"
#include "FRWSwitch.h"

namespace {
/// The status dot, filled with a colour that follows the appearance.
class StatusDot : public QWidget {
public:
    explicit StatusDot(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(8, 8);
        connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
    }
    void setColor(const FRWDynamicColor& color)
    {
        m_color = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color.resolved());
        painter.drawRoundedRect(QRectF(rect()), 4, 4);
    }

private:
    FRWDynamicColor m_color = FRWTheme::secondaryLabel();
};
} // namespace

FRWOverviewCard::FRWOverviewCard(const QString& title, const QString& desc, QWidget* parent)
    : FRWCardView(parent)
    , m_titleLabel(new QLabel(title))
    , m_toggle(new FRWSwitch)
    , m_descLabel(new QLabel(desc))
    , m_dot(new StatusDot(this))
    , m_statusLabel(new QLabel)
{
    setCornerRadius(16);
    // The design's height, taller only when a translation's description needs another line.
    setMinimumHeight(kHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(6);

    auto* top = new QHBoxLayout;
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setFont(FRWTheme::font(13.5, QFont::DemiBold));
    // A Latin title (a product name) still starts at the leading edge of a right-to-left card.
    m_titleLabel->setAlignment(FRWDirection::leading(QGuiApplication::layoutDirection()) | Qt::AlignVCenter);
    FRWTheme::bindTextColor(m_titleLabel, FRWTheme::primaryText());
    top->addWidget(m_titleLabel, 1);
    m_toggle->setObjectName(QStringLiteral("toggleSwitch"));
    m_toggle->setAccessibleName(title);
    top->addWidget(m_toggle);
    layout->addLayout(top);

    m_descLabel->setObjectName(QStringLiteral("descLabel"));
    m_descLabel->setFont(FRWTheme::font(11.5));
    FRWTheme::bindTextColor(m_descLabel, FRWTheme::secondaryLabel());
    m_descLabel->setWordWrap(true);
    m_descLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_descLabel, 1);

    auto* status = new QHBoxLayout;
    status->setSpacing(6);
    status->addWidget(m_dot, 0, Qt::AlignVCenter);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setFont(FRWTheme::font(11.5, QFont::Medium));
    FRWTheme::bindTextColor(m_statusLabel, FRWTheme::label());
    status->addWidget(m_statusLabel, 1);
    layout->addLayout(status);

    connect(m_toggle, &FRWSwitch::clicked, this, &FRWOverviewCard::toggled);
}

void FRWOverviewCard::setStatus(const QString& text, const FRWDynamicColor& color)
{
    m_statusLabel->setText(text);
    m_statusColor = color;
    static_cast<StatusDot*>(m_dot)->setColor(color);
}
