#pragma once

#include <optional>
#include <string>

#include "FRWCodeCheck.h"
#include "FRWHelperConfig.h"

/// Makes the root-owned copy of a core that the helper runs. The copy is read from the file the
/// caller named once it is open, and it is the copy that is verified and run, so swapping the
/// caller's file afterwards changes nothing.
class FRWCoreStaging {
public:
    FRWCoreStaging(const FRWHelperConfig& config, const FRWCodeCheck& codeCheck)
        : m_config(config), m_codeCheck(codeCheck)
    {
    }

    /// Copies the core open at `source` (a regular file, opened with the caller's rights; `path`
    /// names it in log lines). The staged path on success; nothing (logged) otherwise.
    std::optional<std::string> stageCore(int source, const std::string& path) const;

private:
    const FRWHelperConfig& m_config;
    const FRWCodeCheck& m_codeCheck;
};
