#pragma once

#include "FRWAccessibility.h"
#include "FRWCardView.h"

/// A policy group of the Policy page: its kind, name and selected member. A press asks for the
/// member menu; the context menu offers delete.
class FRWGroupTile : public FRWCardView, public FRWPressable {
    Q_OBJECT
public:
    FRWGroupTile(const QString& name, const QString& typeLabel, const QString& selected,
                 QWidget* parent = nullptr);

    QString groupName() const { return m_name; }
    QString selectedMember() const { return m_selected; }

    QString accessibleTitle() const override { return groupName(); }
    QString accessibleDescription() const override;
    bool performAccessiblePress() override;

signals:
    void clicked();
    void deleteRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    /// The accent border shows while hovered or focused.
    void updateBorder();

    QString m_name;
    bool m_hovered = false;
    QString m_selected;
};
