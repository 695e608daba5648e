#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "FRWScopedFd.h"

/// Everything the helper service depends on. The shipped program uses the defaults; the test host
/// points every path into a temporary folder and shortens the waits.
struct FRWHelperConfig {
    std::string stagedCorePath;
    std::string apiInfoPath;
    std::string apiInfoDirectory;
    /// The helper's own state (root only): saved forwarding values.
    std::string stateDirectory;
    /// Parent of each user's folder for what their core keeps across starts.
    std::string coreStateDirectory;
    /// The switches gateway mode turns on (and restores afterwards).
    std::vector<std::string> forwardingSwitches;
    /// Names the current boot; saved switch values of another boot are stale.
    std::string bootIdPath = "/proc/sys/kernel/random/boot_id";
    /// The polkit authority's bus (empty: the system bus) and the action a start needs.
    std::string polkitBusAddress;
    std::string polkitActionId;
    std::string publicKeyPem;
    std::string callerIdentifier;
    std::string coreIdentifier;
    std::string defaultTunName;
    /// Whether the helper removes a tunnel's routing after its core (off for helpers that tests
    /// run outside a network namespace of their own).
    bool cleanUpRouting = true;
    /// Arguments added to every core's command line (tests add "-no-tun": a core they start in
    /// the machine's own network namespace must never route the machine's traffic).
    std::vector<std::string> extraCoreArguments;
    /// Owner of the staged core and of the folders the helper hands out.
    uid_t coreOwner = 0;
    gid_t coreGroup = 0;

    std::chrono::milliseconds stopGrace{5000};
    std::chrono::milliseconds fallbackStopGrace{3000};
    std::chrono::milliseconds orphanDelay{5000};
    int maxConnections = 64;
    /// Connections one user may hold at once, so that no account can take every slot.
    int maxConnectionsPerUser = 8;
    /// A peer that is not the application gets one request, and this long to send it.
    std::chrono::milliseconds untrustedIdle{2000};
    /// Largest caller executable read for vetting. A user's callers are checked one at a time,
    /// and a later one waits at most `callerCheckWait` for the one before.
    std::size_t maxCallerExecutableSize = std::size_t{512} << 20;
    std::chrono::milliseconds callerCheckWait{5000};
    /// Largest core the helper copies; anything bigger is refused before a byte is copied.
    std::uint64_t maxCoreSize = std::uint64_t{256} << 20;

    /// Port 53 on the LAN addresses for a gateway-mode core (none when empty); gets the log.
    std::function<std::vector<FRWScopedFd>(const std::function<void(const std::string&)>&)>
        lanResolverSockets;

    /// Where log lines go; each already begins "ferrow-helper: ".
    std::function<void(const std::string&)> log;

    /// The installed helper's settings, for the layout its own executable says it is in.
    static FRWHelperConfig system();
    /// The settings of a helper installed at `executable`: the system package's layout when that
    /// is the packaged helper's path, the build folder's install layout otherwise.
    static FRWHelperConfig forExecutable(const std::string& executable);
};
