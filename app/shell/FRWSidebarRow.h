#pragma once

#include <functional>

#include <QWidget>

#include "FRWAccessibility.h"

/// One navigation row of the sidebar: icon, title and an optional trailing symbol on a rounded
/// fill that marks selection (which wins) or hover. Clicks act on press and always land on the row.
class FRWSidebarRow : public QWidget, public FRWPressable {
    Q_OBJECT
public:
    static constexpr int kHeight = 34;

    explicit FRWSidebarRow(const QString& itemID, QWidget* parent = nullptr);

    QString itemID() const { return m_itemID; }
    QString title() const { return m_title; }
    void setTitle(const QString& title);
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbol);
    QString trailingSymbol() const { return m_trailingSymbol; }
    /// An empty name clears the trailing image.
    void setTrailingSymbol(const QString& symbol);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHovered() const { return m_hovered; }
    void setHovered(bool hovered);

    std::function<void(const QString&)> onClick;

    /// The fill currently behind the row (transparent when neither selected nor hovered).
    QColor backgroundColor() const;

    /// Wide enough for the icon, the whole title and the trailing symbol.
    QSize sizeHint() const override;

    QString accessibleTitle() const override { return m_title; }
    bool performAccessiblePress() override;
    QAccessible::Role accessibleRole() const override { return QAccessible::PageTab; }
    void addAccessibleState(QAccessible::State& state) const override;

signals:
    /// An arrow key asks for the row `step` places away (negative: above).
    void stepRequested(int step);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const QString m_itemID;
    QString m_title;
    QString m_symbol;
    QString m_trailingSymbol;
    bool m_selected = false;
    bool m_hovered = false;
};
