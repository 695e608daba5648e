#pragma once

#include <QPointer>
#include <QWidget>

#include "FRWTunnelPresenter.h"

/// Shows the tunnel layer's and the model's alerts as window-modal warnings with one "OK".
class FRWDialogPresenter : public FRWTunnelPresenter {
public:
    /// `window` is what the alerts are shown over; they stand alone when it is gone or hidden.
    explicit FRWDialogPresenter(QWidget* window = nullptr) : m_window(window) {}

    void setWindow(QWidget* window) { m_window = window; }
    void presentWarning(const QString& message, const QString& detail,
                        std::function<void()> dismissed) override;

private:
    QPointer<QWidget> m_window;
};
