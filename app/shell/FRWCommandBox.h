#pragma once

#include <QWidget>

/// A rounded, lightly filled box that holds a command line (and whatever the screen puts in it).
class FRWCommandBox : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal kCornerRadius = 6;

    explicit FRWCommandBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
