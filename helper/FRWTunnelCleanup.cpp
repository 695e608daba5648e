#include "FRWTunnelCleanup.h"

#include "PolicyRouting.h"

void FRWTunnelCleanup::run(const std::string& tunName) const
{
    if (!m_config.cleanUpRouting) {
        return;
    }
    const bool leftovers = ferrow::tun::PolicyRouting::anyTagged();
    std::string error;
    if (!ferrow::tun::PolicyRouting::removeTagged(tunName, &error)) {
        m_config.log("ferrow-helper: cannot remove the tunnel's routing: " + error);
    } else if (leftovers) {
        m_config.log("ferrow-helper: removed the routing rules a core left behind");
    }
}
