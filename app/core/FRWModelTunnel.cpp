#include "FRWModelTunnel.h"

#include "FRWTunnelController.h"

bool FRWControllerModelTunnel::systemProxyRunning() const
{
    return m_controller.systemProxyRunning();
}

bool FRWControllerModelTunnel::tunnelCoreRunning() const
{
    return m_controller.tunnelCoreRunning();
}

QString FRWControllerModelTunnel::currentAPIInfoPath() const
{
    return m_controller.currentAPIInfoPath();
}

void FRWControllerModelTunnel::apiForMeasurementWithCompletion(
    std::function<void(std::optional<QJsonObject>)> completion)
{
    m_controller.apiForMeasurementWithCompletion(std::move(completion));
}

void FRWControllerModelTunnel::startWithCompletion(std::function<void(FRWResult)> completion)
{
    m_controller.startWithCompletion(std::move(completion));
}

void FRWControllerModelTunnel::stopWithCompletion(std::function<void(FRWResult)> completion)
{
    m_controller.stopWithCompletion(std::move(completion));
}

void FRWControllerModelTunnel::startSystemProxyWithCompletion(std::function<void(FRWResult)> completion)
{
    m_controller.startSystemProxyWithCompletion(std::move(completion));
}

void FRWControllerModelTunnel::stopSystemProxy(std::function<void()> done)
{
    m_controller.stopSystemProxy(std::move(done));
}

void FRWControllerModelTunnel::startIfHelperCurrentWithCompletion(
    std::function<void(bool, FRWResult)> completion)
{
    m_controller.startIfHelperCurrentWithCompletion(std::move(completion));
}
