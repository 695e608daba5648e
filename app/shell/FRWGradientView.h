#pragma once

#include <QWidget>

/// The window's background: a diagonal gradient from the top-left to the bottom-right corner.
class FRWGradientView : public QWidget {
    Q_OBJECT
public:
    explicit FRWGradientView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
