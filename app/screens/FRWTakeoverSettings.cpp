#include "FRWTakeoverSettings.h"

#include "FRWTunnelController.h"

bool FRWControllerTakeoverSettings::allowLAN() const
{
    return m_controller.allowLAN();
}

bool FRWControllerTakeoverSettings::gatewayMode() const
{
    return m_controller.gatewayMode();
}

void FRWControllerTakeoverSettings::setGatewayMode(bool enabled)
{
    m_controller.setGatewayMode(enabled);
}

QString FRWControllerTakeoverSettings::lanIPv4() const
{
    return FRWTunnelController::lanIPv4();
}
