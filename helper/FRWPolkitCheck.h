#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

/// Asks the system's polkit authority whether a calling process may start Enhanced Mode's core.
class FRWPolkitCheck {
public:
    /// `busAddress` empty means the system bus.
    FRWPolkitCheck(std::string busAddress, std::string actionId)
        : m_busAddress(std::move(busAddress)), m_actionId(std::move(actionId))
    {
    }

    /// Nothing when the process `pid` started at `startTime` (clock ticks since boot) as user `uid`
    /// is authorised; otherwise the reason, which is also given when no authority answers: without
    /// polkit nobody is let in.
    std::optional<std::string> authorize(pid_t pid, std::uint64_t startTime, uid_t uid) const;

private:
    std::string m_busAddress;
    std::string m_actionId;
};
