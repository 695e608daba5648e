#include "FRWTheme.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QScrollBar>
#include <QWidget>

#include "FRWAppearance.h"

namespace {
QColor rgba(QRgb rgb, qreal alpha)
{
    QColor color = QColor::fromRgb(rgb);
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

FRWDynamicColor dynamic(QRgb light, qreal lightAlpha, QRgb dark, qreal darkAlpha)
{
    return {rgba(light, lightAlpha), rgba(dark, darkAlpha)};
}
} // namespace

QColor FRWDynamicColor::resolved() const
{
    return resolve(FRWAppearance::shared()->isDark());
}

QColor FRWDynamicColor::resolvedWithAlpha(qreal alpha) const
{
    QColor color = resolved();
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

// clang-format off
FRWDynamicColor FRWTheme::windowGradientTop()    { return dynamic(0xEAF0FA, 1, 0x232936, 1); }
FRWDynamicColor FRWTheme::windowGradientMid()    { return dynamic(0xEFF0F6, 1, 0x24242C, 1); }
FRWDynamicColor FRWTheme::windowGradientBottom() { return dynamic(0xF6F4F7, 1, 0x201F26, 1); }
FRWDynamicColor FRWTheme::cardBackground()       { return dynamic(0xFFFFFF, 0.8, 0x000000, 0.2); }
FRWDynamicColor FRWTheme::controlBackground()    { return dynamic(0xFFFFFF, 0.8, 0x000000, 0.2); }
FRWDynamicColor FRWTheme::primaryText()          { return dynamic(0x131417, 1, 0xEAEAEA, 1); }
FRWDynamicColor FRWTheme::label()                { return dynamic(0x202327, 1, 0xDDDDDD, 1); }
FRWDynamicColor FRWTheme::secondaryLabel()       { return dynamic(0xB3B3B3, 1, 0x7F838F, 1); }
FRWDynamicColor FRWTheme::sidebarTitle()         { return dynamic(0x131417, 1, 0xFFFFFF, 1); }
FRWDynamicColor FRWTheme::sidebarHeader()        { return dynamic(0x131417, 0.5, 0xFFFFFF, 0.5); }
FRWDynamicColor FRWTheme::border()               { return dynamic(0xE8E2E0, 1, 0x534B44, 1); }
FRWDynamicColor FRWTheme::separator()            { return dynamic(0x000000, 0.12, 0xFFFFFF, 0.12); }
FRWDynamicColor FRWTheme::accentBlue()           { return dynamic(0x0CBEFF, 1, 0x0CBEFF, 1); }
FRWDynamicColor FRWTheme::cyan()                 { return dynamic(0x20CDCD, 1, 0x26C0C0, 1); }
FRWDynamicColor FRWTheme::purple()               { return dynamic(0x6C5CE7, 1, 0x8677F0, 1); }
FRWDynamicColor FRWTheme::magenta()              { return dynamic(0xCC47CC, 1, 0xE060E0, 1); }
FRWDynamicColor FRWTheme::indigo()               { return dynamic(0x7B61FF, 1, 0x9280FF, 1); }
FRWDynamicColor FRWTheme::buttonHovered()        { return dynamic(0x000000, 0.1, 0xFFFFFF, 0.1); }
FRWDynamicColor FRWTheme::buttonHighlighted()    { return dynamic(0x000000, 0.15, 0xFFFFFF, 0.15); }
FRWDynamicColor FRWTheme::selectionBackground()  { return dynamic(0x000000, 0.085, 0xFFFFFF, 0.11); }
FRWDynamicColor FRWTheme::sidebarHover()         { return dynamic(0x000000, 0.045, 0xFFFFFF, 0.06); }
FRWDynamicColor FRWTheme::sidebarBackground()    { return QColor(Qt::transparent); }
FRWDynamicColor FRWTheme::statusGreen()          { return QColor(52, 199, 89); }
FRWDynamicColor FRWTheme::statusOrange()         { return QColor(255, 149, 0); }
FRWDynamicColor FRWTheme::statusRed()            { return QColor(255, 59, 48); }
FRWDynamicColor FRWTheme::statusBlue()           { return QColor(0, 122, 255); }
FRWDynamicColor FRWTheme::tertiaryLabel()        { return dynamic(0x000000, 0.26, 0xFFFFFF, 0.25); }
// clang-format on

QFont FRWTheme::font(qreal size, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPointSizeF(size * 72.0 / 96.0);
    font.setWeight(weight);
    return font;
}

void FRWTheme::bindTextColor(QWidget* widget, const FRWDynamicColor& color)
{
    // The colour lives on the widget, so binding again replaces it instead of stacking connections.
    const bool bound = widget->property("frwTextLight").isValid();
    widget->setProperty("frwTextLight", color.light);
    widget->setProperty("frwTextDark", color.dark);
    const auto apply = [widget] {
        const FRWDynamicColor bound(widget->property("frwTextLight").value<QColor>(),
                                    widget->property("frwTextDark").value<QColor>());
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, bound.resolved());
        palette.setColor(QPalette::Text, bound.resolved());
        widget->setPalette(palette);
    };
    apply();
    if (!bound) {
        QObject::connect(FRWAppearance::shared(), &FRWAppearance::changed, widget, apply);
    }
}

QLabel* FRWTheme::label(const QString& text, qreal size, QFont::Weight weight, const FRWDynamicColor& color)
{
    auto* result = new QLabel(text);
    result->setFont(font(size, weight));
    bindTextColor(result, color);
    return result;
}

void FRWTheme::styleScroller(QScrollBar* bar)
{
    const auto apply = [bar] {
        const bool scrolls = bar->maximum() > bar->minimum();
        const QColor handle =
            scrolls ? FRWTheme::secondaryLabel().resolvedWithAlpha(0.55) : QColor(Qt::transparent);
        const QString sheet =
            QStringLiteral(
                "QScrollBar:vertical { background: transparent; width: %1px; margin: 4px 2px 4px 0; }"
                "QScrollBar::handle:vertical { background: %2; border-radius: 4px; min-height: 32px; }"
                "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
                .arg(kScrollerWidth)
                .arg(handle.name(QColor::HexArgb));
        if (bar->styleSheet() != sheet) {
            bar->setStyleSheet(sheet);
        }
    };
    apply();
    if (!bar->property("frwScroller").toBool()) {
        bar->setProperty("frwScroller", true);
        QObject::connect(FRWAppearance::shared(), &FRWAppearance::changed, bar, apply);
        QObject::connect(bar, &QScrollBar::rangeChanged, bar, apply);
    }
}
