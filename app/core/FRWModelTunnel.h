#pragma once

#include <functional>
#include <optional>

#include <QJsonObject>
#include <QString>

#include "FRWError.h"

class FRWTunnelController;

/// What the app model asks of the tunnel layer: where the running core's API is, and starting and
/// stopping either mode. The real one forwards to FRWTunnelController; tests run a core of their own.
/// GUI thread; completions run on the GUI thread exactly once.
class FRWModelTunnel {
public:
    FRWModelTunnel() = default;
    virtual ~FRWModelTunnel() = default;
    FRWModelTunnel(const FRWModelTunnel&) = delete;
    FRWModelTunnel& operator=(const FRWModelTunnel&) = delete;

    virtual bool systemProxyRunning() const = 0;
    virtual bool tunnelCoreRunning() const = 0;
    virtual QString currentAPIInfoPath() const = 0;
    virtual void
    apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> completion) = 0;
    virtual void startWithCompletion(std::function<void(FRWResult)> completion) = 0;
    virtual void stopWithCompletion(std::function<void(FRWResult)> completion) = 0;
    virtual void startSystemProxyWithCompletion(std::function<void(FRWResult)> completion) = 0;
    /// `done` runs once the desktop settings are back and the core has been told to end.
    virtual void stopSystemProxy(std::function<void()> done) = 0;
    virtual void
    startIfHelperCurrentWithCompletion(std::function<void(bool started, FRWResult)> completion) = 0;
};

/// The model's view of the process's tunnel controller.
class FRWControllerModelTunnel : public FRWModelTunnel {
public:
    explicit FRWControllerModelTunnel(FRWTunnelController& controller) : m_controller(controller) {}

    bool systemProxyRunning() const override;
    bool tunnelCoreRunning() const override;
    QString currentAPIInfoPath() const override;
    void apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> completion) override;
    void startWithCompletion(std::function<void(FRWResult)> completion) override;
    void stopWithCompletion(std::function<void(FRWResult)> completion) override;
    void startSystemProxyWithCompletion(std::function<void(FRWResult)> completion) override;
    void stopSystemProxy(std::function<void()> done) override;
    void startIfHelperCurrentWithCompletion(std::function<void(bool, FRWResult)> completion) override;

private:
    FRWTunnelController& m_controller;
};
