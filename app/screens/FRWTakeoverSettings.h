#pragma once

#include <QString>

class FRWTunnelController;

/// The tunnel layer's settings the screens read and change: LAN access, gateway mode and this
/// machine's LAN address. The real one forwards to the tunnel controller.
class FRWTakeoverSettings {
public:
    FRWTakeoverSettings() = default;
    virtual ~FRWTakeoverSettings() = default;
    FRWTakeoverSettings(const FRWTakeoverSettings&) = delete;
    FRWTakeoverSettings& operator=(const FRWTakeoverSettings&) = delete;

    virtual bool allowLAN() const = 0;
    virtual bool gatewayMode() const = 0;
    virtual void setGatewayMode(bool enabled) = 0;
    /// This machine's IPv4 address on the LAN; empty when it has none.
    virtual QString lanIPv4() const = 0;
};

class FRWControllerTakeoverSettings : public FRWTakeoverSettings {
public:
    explicit FRWControllerTakeoverSettings(FRWTunnelController& controller) : m_controller(controller) {}

    bool allowLAN() const override;
    bool gatewayMode() const override;
    void setGatewayMode(bool enabled) override;
    QString lanIPv4() const override;

private:
    FRWTunnelController& m_controller;
};
