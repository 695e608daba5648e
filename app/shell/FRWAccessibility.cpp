#include "FRWAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace {
class FRWPressableAccessible : public QAccessibleWidget {
public:
    FRWPressableAccessible(QWidget* widget, FRWPressable* pressable)
        : QAccessibleWidget(widget, QAccessible::Button), m_pressable(pressable)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            return m_pressable->accessibleTitle();
        }
        return QAccessibleWidget::text(t);
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
} // namespace

void FRWPressable::installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(pressableFactory);
        return true;
    }();
    (void)installed;
}
