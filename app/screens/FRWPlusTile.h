#pragma once

#include <QWidget>

#include "FRWAccessibility.h"

/// The dashed "add" tile at the end of a Policy grid; a press emits clicked().
class FRWPlusTile : public QWidget, public FRWPressable {
    Q_OBJECT
public:
    explicit FRWPlusTile(const QString& accessibleTitle, QWidget* parent = nullptr);

    QString accessibleTitle() const override { return accessibleName(); }
    bool performAccessiblePress() override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_hovered = false;
};
