#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

#include "FRWHelperConfig.h"

/// The folders the helper makes for a core that runs as the calling user: the api-info folder
/// (the user's for as long as their core runs, emptied between users) and a per-user folder for
/// what the core keeps across starts (its statistics), since the user's home is read-only to it.
class FRWCoreFolders {
public:
    explicit FRWCoreFolders(const FRWHelperConfig& config) : m_config(config) {}

    /// Empties the api-info folder and gives it to the user; false (logged) on failure.
    bool prepareApiInfoFolder(uid_t uid, gid_t gid) const;
    /// Removes the api-info file and hands the folder back to root.
    void releaseApiInfoFolder() const;
    /// The user's own folder below the core state folder (0700, owned by the user), or nothing.
    std::optional<std::string> userStateFolder(uid_t uid, gid_t gid) const;

private:
    const FRWHelperConfig& m_config;
};
