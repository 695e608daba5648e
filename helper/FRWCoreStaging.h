#pragma once

#include <optional>
#include <string>
#include <utility>

#include "FRWCodeCheck.h"
#include "FRWHelperConfig.h"

/// A staged core: its path, and a read-only descriptor of the very file that was verified. The
/// core is started through the descriptor, because the user it runs as may not reach the path
/// (the packaged helper keeps it in its root-only state folder).
class FRWStagedCore {
public:
    FRWStagedCore(std::string path, int fd) : m_path(std::move(path)), m_fd(fd) {}
    ~FRWStagedCore();
    FRWStagedCore(FRWStagedCore&& other) noexcept;
    FRWStagedCore(const FRWStagedCore&) = delete;
    FRWStagedCore& operator=(const FRWStagedCore&) = delete;
    FRWStagedCore& operator=(FRWStagedCore&&) = delete;

    const std::string& path() const { return m_path; }
    int fd() const { return m_fd; }

private:
    std::string m_path;
    int m_fd;
};

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
    /// names it in log lines). The staged core on success; nothing (logged) otherwise.
    std::optional<FRWStagedCore> stageCore(int source, const std::string& path) const;

private:
    const FRWHelperConfig& m_config;
    const FRWCodeCheck& m_codeCheck;
};
