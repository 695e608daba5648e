#pragma once

#include <string>

#include "FRWHelperConfig.h"

/// Removes what a tunnel core added to the system's routing: its tagged policy rules, the routes
/// of its table and its TUN link if still there. Run when a core ends for any reason and when the
/// helper starts, so a crash never leaves the machine without a working route.
class FRWTunnelCleanup {
public:
    explicit FRWTunnelCleanup(const FRWHelperConfig& config) : m_config(config) {}

    /// `tunName`: also remove that TUN link if it is still there (empty: links stay).
    void run(const std::string& tunName) const;

private:
    const FRWHelperConfig& m_config;
};
