#pragma once

#include <QMenu>

#include "FRWMenuRowView.h"

class QAction;

/// A menu that Ferrow draws itself: every item is painted as an FRWMenuRowView row (an item's
/// row is attached with `setRow`; plain items get a row from their text and check state). Qt
/// keeps doing what menus do: hover, keyboard, submenus, closing.
class FRWRowMenu : public QMenu {
    Q_OBJECT

public:
    explicit FRWRowMenu(QWidget* parent = nullptr);
    explicit FRWRowMenu(const QString& title, QWidget* parent = nullptr);

    static void setRow(QAction* action, const FRWMenuRowView& row);
    /// The row an item is drawn with.
    static FRWMenuRowView rowFor(const QAction* action);

    /// Every row of this menu is drawn this wide.
    void setRowWidth(int width);
    int rowWidth() const { return m_rowWidth; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_rowWidth = FRWMenuRowView::kInitialWidth;
};
