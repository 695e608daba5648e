#include "FRWRowMenu.h"

#include <QAction>
#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include "FRWTheme.h"

namespace {

constexpr char kRowProperty[] = "frwMenuRow";
constexpr int kSeparatorHeight = 9;

/// Gives every item of a row menu the row's size, so Qt lays the menu out as the rows need.
class FRWRowMenuStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        const auto* menu = qobject_cast<const FRWRowMenu*>(widget);
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type == CT_MenuItem && menu && item) {
            const int height = item->menuItemType == QStyleOptionMenuItem::Separator
                                   ? kSeparatorHeight
                                   : FRWMenuRowView::kHeight;
            return {menu->rowWidth(), height};
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (qobject_cast<const FRWRowMenu*>(widget) &&
            (metric == PM_MenuHMargin || metric == PM_MenuPanelWidth || metric == PM_MenuVMargin)) {
            return metric == PM_MenuVMargin ? 4 : 0;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QStyle* rowMenuStyle()
{
    static auto* style = new FRWRowMenuStyle();
    return style;
}

} // namespace

FRWRowMenu::FRWRowMenu(QWidget* parent) : QMenu(parent)
{
    setStyle(rowMenuStyle());
}

FRWRowMenu::FRWRowMenu(const QString& title, QWidget* parent) : QMenu(title, parent)
{
    setStyle(rowMenuStyle());
}

void FRWRowMenu::setRow(QAction* action, const FRWMenuRowView& row)
{
    action->setProperty(kRowProperty, QVariant::fromValue(row));
}

FRWMenuRowView FRWRowMenu::rowFor(const QAction* action)
{
    const QVariant attached = action->property(kRowProperty);
    if (attached.canConvert<FRWMenuRowView>()) {
        return attached.value<FRWMenuRowView>();
    }
    return FRWMenuRowView::rowWithTitle(action->text(), {}, {}, {}, action->menu() != nullptr,
                                        !action->isEnabled(), action->isCheckable() && action->isChecked());
}

void FRWRowMenu::setRowWidth(int width)
{
    m_rowWidth = width;
    // The layout is cached by the menu; changing an action's text makes it measure again.
    for (QAction* action : actions()) {
        action->setText(action->text());
    }
    adjustSize();
    update();
}

void FRWRowMenu::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    for (QAction* action : actions()) {
        if (!action->isVisible()) {
            continue;
        }
        const QRect bounds = actionGeometry(action);
        if (!event->rect().intersects(bounds)) {
            continue;
        }
        if (action->isSeparator()) {
            painter.setPen(FRWTheme::separator().resolved());
            const int y = bounds.center().y();
            painter.drawLine(bounds.left() + 10, y, bounds.right() - 10, y);
            continue;
        }
        FRWMenuRowView row = rowFor(action);
        row.setRowWidth(bounds.width());
        row.paint(painter, bounds, action == activeAction() && action->isEnabled());
    }
}
