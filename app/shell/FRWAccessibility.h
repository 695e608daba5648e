#pragma once

#include <QString>

/// A self-drawn widget that assistive technology sees as one button: its title is the name, and
/// the press action runs the widget's click.
class FRWPressable {
public:
    virtual ~FRWPressable() = default;
    virtual QString accessibleTitle() const = 0;
    /// Runs the click; true when it reached someone.
    virtual bool performAccessiblePress() = 0;

    /// Registers the accessibility factory for pressable widgets (idempotent).
    static void installAccessibility();
};
