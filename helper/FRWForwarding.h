#pragma once

#include "FRWHelperConfig.h"

/// The IP forwarding switches that gateway mode turns on. Their values from before are saved in
/// the helper's state folder first, so they come back after the core ends, even when the helper
/// itself was stopped or crashed in between.
class FRWForwarding {
public:
    explicit FRWForwarding(const FRWHelperConfig& config) : m_config(config) {}

    /// Saves the current values (unless a save is already pending) and turns forwarding on.
    bool enable() const;
    /// Puts saved values back and forgets them; nothing to do without a save. Values saved
    /// during an earlier boot are forgotten without being written.
    void restore() const;

private:
    std::string currentBoot() const;
    std::string savedPath() const;

    const FRWHelperConfig& m_config;
};
