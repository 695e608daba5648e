#include "FRWAccessibility.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include "FRWTheme.h"

namespace {
class FRWPressableAccessible : public QAccessibleWidget {
public:
    FRWPressableAccessible(QWidget* widget, FRWPressable* pressable)
        : QAccessibleWidget(widget, pressable->accessibleRole()), m_pressable(pressable)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString own = widget()->accessibleName();
            return own.isEmpty() ? m_pressable->accessibleTitle() : own;
        }
        if (t == QAccessible::Description) {
            const QString own = widget()->accessibleDescription();
            return own.isEmpty() ? m_pressable->accessibleDescription() : own;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::Role role() const override { return m_pressable->accessibleRole(); }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        m_pressable->addAccessibleState(s);
        return s;
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction()) {
            m_pressable->performAccessiblePress();
        }
    }

private:
    FRWPressable* m_pressable;
};

QAccessibleInterface* pressableFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    auto* pressable = dynamic_cast<FRWPressable*>(object);
    if (widget && pressable) {
        return new FRWPressableAccessible(widget, pressable);
    }
    return nullptr;
}

constexpr char kRoleProperty[] = "frwAccessibleRole";

// Only widgets given a role through FRWFocus::setRole; every other widget keeps Qt's own reading.
QAccessibleInterface* roleFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    const QVariant role = object ? object->property(kRoleProperty) : QVariant();
    if (widget && role.isValid()) {
        return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
    }
    return nullptr;
}

QGridLayout* gridHolding(QLayout* layout, QWidget* widget)
{
    if (!layout) {
        return nullptr;
    }
    if (auto* grid = qobject_cast<QGridLayout*>(layout); grid && grid->indexOf(widget) >= 0) {
        return grid;
    }
    for (int i = 0; i < layout->count(); ++i) {
        if (QGridLayout* found = gridHolding(layout->itemAt(i)->layout(), widget)) {
            return found;
        }
    }
    return nullptr;
}
} // namespace

namespace {

/// Qt marks a window when focus moves by keyboard but keeps the mark through clicks; a press of
/// the pointer clears it, so the ring goes with the pointer as it came with the keyboard.
class PointerClearsKeyboardMark : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
            QWidget* window = static_cast<QWidget*>(watched)->window();
            if (window->testAttribute(Qt::WA_KeyboardFocusChange)) {
                window->setAttribute(Qt::WA_KeyboardFocusChange, false);
                if (QWidget* focused = QApplication::focusWidget()) {
                    focused->update();
                }
            }
        }
        return false;
    }
};

} // namespace

void FRWPressable::installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(pressableFactory);
        qApp->installEventFilter(new PointerClearsKeyboardMark(qApp));
        return true;
    }();
    (void)installed;
}

namespace FRWFocus {
bool isActivationKey(const QKeyEvent* event)
{
    const int key = event->key();
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isMenuKey(const QKeyEvent* event)
{
    return event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
}

void openContextMenu(QWidget* widget)
{
    const QPoint centre = widget->rect().center();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, centre, widget->mapToGlobal(centre));
    QCoreApplication::sendEvent(widget, &request);
}

bool showsRing(const QWidget* widget)
{
    // Qt marks the window while focus moves by keyboard and clears the mark on a click.
    return widget->hasFocus() && widget->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

void paintRing(QPainter& painter, const QRectF& bounds, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(FRWTheme::accentBlue().resolved(), 2));
    const QRectF ring = bounds.adjusted(1, 1, -1, -1);
    painter.drawRoundedRect(ring, std::max<qreal>(0, radius - 1), std::max<qreal>(0, radius - 1));
    painter.restore();
}

bool moveInGrid(QWidget* from, int key)
{
    int dRow = 0;
    int dColumn = 0;
    switch (key) {
    case Qt::Key_Left:
        dColumn = -1;
        break;
    case Qt::Key_Right:
        dColumn = 1;
        break;
    case Qt::Key_Up:
        dRow = -1;
        break;
    case Qt::Key_Down:
        dRow = 1;
        break;
    default:
        return false;
    }
    QWidget* parent = from->parentWidget();
    QGridLayout* grid = parent ? gridHolding(parent->layout(), from) : nullptr;
    if (!grid) {
        return false;
    }
    int row = 0;
    int column = 0;
    int rowSpan = 0;
    int columnSpan = 0;
    grid->getItemPosition(grid->indexOf(from), &row, &column, &rowSpan, &columnSpan);
    // Walking right past a row's end continues on the next row, as reading order does.
    const int columns = std::max(1, grid->columnCount());
    int index = row * columns + column;
    const int step = dRow * columns + dColumn;
    for (int tries = 0; tries < grid->rowCount() * columns; ++tries) {
        index += step;
        if (index < 0 || index >= grid->rowCount() * columns) {
            return false;
        }
        QLayoutItem* item = grid->itemAtPosition(index / columns, index % columns);
        QWidget* next = item ? item->widget() : nullptr;
        if (next && next->isVisible() && (next->focusPolicy() & Qt::TabFocus)) {
            next->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

void setRole(QWidget* widget, QAccessible::Role role)
{
    static const bool installed = [] {
        QAccessible::installFactory(roleFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(kRoleProperty, static_cast<int>(role));
}

void announceState(QWidget* widget, bool checked, bool selected)
{
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessible::State changed;
    changed.checked = checked;
    changed.selected = selected;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}
} // namespace FRWFocus
