#include "FRWTrafficRow.h"

#include <QLabel>
#include <QStyle>

#include "FRWByteText.h"
#include "FRWStackedBar.h"
#include "FRWTheme.h"

namespace {
constexpr int kLabelHeight = 17;
constexpr int kBarGap = 5;
constexpr int kBarHeight = 4;
constexpr int kMinimumGap = 8;
} // namespace

FRWTrafficRow::FRWTrafficRow(QWidget* parent)
    : QWidget(parent)
    , m_nameLabel(new QLabel(this))
    , m_bytesLabel(new QLabel(this))
    , m_bar(new FRWStackedBar(this))
{
    setFixedHeight(kHeight);
    m_nameLabel->setObjectName(QStringLiteral("nameLabel"));
    m_nameLabel->setFont(FRWTheme::font(12, QFont::Medium));
    FRWTheme::bindTextColor(m_nameLabel, FRWTheme::primaryText());
    m_bytesLabel->setObjectName(QStringLiteral("bytesLabel"));
    m_bytesLabel->setFont(FRWTheme::font(12));
    m_bytesLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FRWTheme::bindTextColor(m_bytesLabel, FRWTheme::secondaryLabel());
    m_bar->setObjectName(QStringLiteral("trafficBar"));
    m_bar->setLeftColor(FRWTheme::cyan());
    m_bar->setRightColor(FRWTheme::separator());
}

void FRWTrafficRow::updateWithName(const QString& name, qint64 bytes, double fraction)
{
    bool relayout = false;
    if (name != m_name) {
        m_name = name;
        relayout = true;
    }
    const QString bytesText = FRWByteText::size(static_cast<double>(bytes));
    if (bytesText != m_bytesLabel->text()) {
        m_bytesLabel->setText(bytesText);
        relayout = true;
    }
    m_bar->setLeftFraction(fraction);
    if (relayout) {
        layoutLabels();
    }
}

void FRWTrafficRow::resizeEvent(QResizeEvent*)
{
    layoutLabels();
}

void FRWTrafficRow::layoutLabels()
{
    // The byte text keeps its full width; the name yields, truncated in the middle.
    const int bytesWidth = m_bytesLabel->fontMetrics().horizontalAdvance(m_bytesLabel->text()) + 1;
    const auto place = [this](const QRect& area) {
        return QStyle::visualRect(layoutDirection(), rect(), area);
    };
    m_bytesLabel->setGeometry(place({width() - bytesWidth, 0, bytesWidth, kLabelHeight}));
    const int nameWidth = std::max(0, width() - bytesWidth - kMinimumGap);
    const QString elided = m_nameLabel->fontMetrics().elidedText(m_name, Qt::ElideMiddle, nameWidth);
    if (elided != m_nameLabel->text()) {
        m_nameLabel->setText(elided);
    }
    // Only as wide as its text, so it sits at the leading edge whatever the text's own direction.
    const int shownWidth = std::min(nameWidth, m_nameLabel->fontMetrics().horizontalAdvance(elided) + 1);
    m_nameLabel->setGeometry(place({0, 0, shownWidth, kLabelHeight}));
    m_bar->setGeometry(0, kLabelHeight + kBarGap, width(), kBarHeight);
}
