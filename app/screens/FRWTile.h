#pragma once

#include "FRWAccessibility.h"
#include "FRWCardView.h"

/// A pressable card of the Policy page's grids: Space or Return presses it, Shift+F10 opens its
/// menu, arrows move to its neighbours, and the accent border shows while it is hovered or has
/// keyboard focus.
class FRWTile : public FRWCardView, public FRWPressable {
public:
    explicit FRWTile(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void updateBorder();

    bool m_hovered = false;
};
