#pragma once

#include "FRWCardView.h"

/// A policy group of the Policy page: its kind, name and selected member. A press asks for the
/// member menu; the context menu offers delete.
class FRWGroupTile : public FRWCardView {
    Q_OBJECT
public:
    FRWGroupTile(const QString& name, const QString& typeLabel, const QString& selected,
                 QWidget* parent = nullptr);

    QString groupName() const { return m_name; }
    QString selectedMember() const { return m_selected; }

signals:
    void clicked();
    void deleteRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_name;
    QString m_selected;
};
