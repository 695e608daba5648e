#pragma once

#include <QAccessible>
#include <QString>

class QKeyEvent;
class QPainter;
class QRectF;
class QWidget;

/// A self-drawn widget that assistive technology sees as one control: its title is the name, and
/// the press action runs the widget's click.
class FRWPressable {
public:
    virtual ~FRWPressable() = default;
    virtual QString accessibleTitle() const = 0;
    /// Runs the click; true when it reached someone.
    virtual bool performAccessiblePress() = 0;
    virtual QAccessible::Role accessibleRole() const { return QAccessible::Button; }
    /// Adds what the widget knows beyond focus and visibility (checked, selected).
    virtual void addAccessibleState(QAccessible::State& state) const { (void)state; }
    /// Secondary text a reader speaks after the name (a latency, a value).
    virtual QString accessibleDescription() const { return {}; }

    /// Registers the accessibility factory for pressable widgets (idempotent).
    static void installAccessibility();
};

/// Keyboard habits shared by the self-drawn controls.
namespace FRWFocus {
/// Space, Return and Enter activate a focused control.
bool isActivationKey(const QKeyEvent* event);
/// Shift+F10 opens a focused control's context menu, as the Menu key does.
bool isMenuKey(const QKeyEvent* event);
/// Sends the keyboard context-menu request for a focused widget, at its centre.
void openContextMenu(QWidget* widget);
/// Whether `widget` shows its focus ring: it has the focus and the focus last moved by keyboard
/// (Tab, a shortcut, an arrow), not by a click or the window opening.
bool showsRing(const QWidget* widget);
/// The ring drawn just inside bounds while a control has keyboard focus, in the accent colour.
void paintRing(QPainter& painter, const QRectF& bounds, qreal radius);
/// Moves focus from a widget to its neighbour in the grid layout holding it, for an arrow key;
/// false when there is no grid, no such neighbour or the key is not an arrow.
bool moveInGrid(QWidget* from, int key);
/// Gives a plain container the role it plays (a list built from row widgets, for one). Call it
/// before anything reads the widget's accessibility (setAccessibleName does), which caches it.
void setRole(QWidget* widget, QAccessible::Role role);
/// Tells assistive technology that a widget's checked or selected state changed.
void announceState(QWidget* widget, bool checked, bool selected);
} // namespace FRWFocus
