#pragma once

#include <QAbstractButton>

/// An on/off switch: a rounded track with a sliding knob. A user's click emits clicked(bool) with
/// the new state; setChecked() from code emits nothing but toggled().
class FRWSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit FRWSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
