#pragma once

#include <QWidget>

/// The sidebar's root view; its background (the sidebarBackground role) lets the gradient show.
class FRWSidebarPanel : public QWidget {
    Q_OBJECT
public:
    explicit FRWSidebarPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
