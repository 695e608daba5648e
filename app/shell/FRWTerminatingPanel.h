#pragma once

#include <QWidget>

/// The small panel shown while Ferrow quits: a spinner, "Terminating…" and what is being undone.
class FRWTerminatingPanel : public QWidget {
    Q_OBJECT

public:
    explicit FRWTerminatingPanel(QWidget* parent = nullptr);

    /// Centres the panel on the screen and brings it to the front.
    void present();
};
