#pragma once

#include "FRWTile.h"

class QLabel;

/// A node of the Policy page: its type, name and last latency. A press asks for a test; an
/// editable node's context menu offers edit, share and delete.
class FRWNodeTile : public FRWTile {
    Q_OBJECT
public:
    static constexpr int kHeight = 92;

    FRWNodeTile(const QString& name, const QString& type, QWidget* parent = nullptr);

    QString nodeName() const { return m_name; }
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }
    void setStatus(const QString& text, bool good);
    QString status() const;
    bool statusIsGood() const { return m_good; }
    QString typeText() const;
    /// The context menu's actions; empty for a node that cannot be edited.
    QList<QAction*> menuActions();

    QString accessibleTitle() const override { return nodeName(); }
    QString accessibleDescription() const override;
    bool performAccessiblePress() override;

signals:
    void clicked(const QString& name);
    void editRequested(const QString& name);
    void deleteRequested(const QString& name);
    void shareRequested(const QString& name);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString m_name;
    bool m_editable = false;
    bool m_good = false;
    QLabel* m_type = nullptr;
    QLabel* m_status = nullptr;
};
