#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>

/// Everything the helper service depends on. The shipped program uses the defaults; the test host
/// points every path into a temporary folder and shortens the waits.
struct FRWHelperConfig {
    std::string stagedCorePath;
    std::string apiInfoPath;
    std::string apiInfoDirectory;
    /// The application is running when some process's executable has this file name.
    std::string applicationExecutableName;
    std::string publicKeyPem;
    std::string callerIdentifier;
    std::string coreIdentifier;
    std::string defaultTunName;
    /// Owner of the staged core, and the only user whose cores the fallback stop may signal.
    uid_t coreOwner = 0;
    gid_t coreGroup = 0;

    std::chrono::milliseconds stopGrace{5000};
    std::chrono::milliseconds fallbackStopGrace{3000};
    std::chrono::milliseconds orphanDelay{5000};
    int maxConnections = 32;
    /// Largest caller executable read for vetting; callers are checked one at a time, so a
    /// hostile peer cannot make the helper hold many large files at once.
    std::size_t maxCallerExecutableSize = std::size_t{512} << 20;

    /// Where log lines go; each already begins "ferrow-helper: ".
    std::function<void(const std::string&)> log;

    /// The installed helper's settings.
    static FRWHelperConfig system();
};
