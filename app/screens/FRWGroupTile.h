#pragma once

#include "FRWTile.h"

/// A policy group of the Policy page: its kind, name and selected member. A press asks for the
/// member menu; the context menu offers delete.
class FRWGroupTile : public FRWTile {
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

private:
    QString m_name;
    QString m_selected;
};
