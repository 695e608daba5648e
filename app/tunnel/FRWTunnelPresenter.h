#pragma once

#include <functional>

#include <QString>

/// How the tunnel layer's messages reach the user. The GUI implements it; the tunnel layer never
/// shows anything itself, and without a presenter it only logs.
class FRWTunnelPresenter {
public:
    FRWTunnelPresenter() = default;
    virtual ~FRWTunnelPresenter() = default;
    FRWTunnelPresenter(const FRWTunnelPresenter&) = delete;
    FRWTunnelPresenter& operator=(const FRWTunnelPresenter&) = delete;

    /// A warning alert with one "OK" button; `dismissed` runs on the GUI thread once it closes.
    virtual void presentWarning(const QString& message, const QString& detail,
                                std::function<void()> dismissed) = 0;
};
