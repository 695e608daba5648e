#include "FRWHelperConfig.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "FRWHelperProtocol.h"
#include "FRWLanResolverSockets.h"
#include "FRWNames.h"
#include "FRWSigningKey.h"

FRWHelperConfig FRWHelperConfig::system()
{
    // Only root can put a program at the packaged helper's path, and the kernel names the file
    // this process runs, so the layout cannot be chosen by whoever starts it.
    std::error_code error;
    return forExecutable(std::filesystem::read_symlink("/proc/self/exe", error).string());
}

FRWHelperConfig FRWHelperConfig::forExecutable(const std::string& executable)
{
    const bool packaged = executable == ferrow::kPackagedHelperPath;
    FRWHelperConfig config;
    config.stagedCorePath = packaged ? ferrow::kPackagedStagedCorePath : ferrow::kStagedCorePath;
    config.apiInfoPath = ferrow::kHelperAPIInfoPath;
    config.apiInfoDirectory = ferrow::kHelperAPIInfoDirectory;
    config.stateDirectory = ferrow::kHelperStateDirectory;
    config.coreStateDirectory = ferrow::kHelperCoreStateDirectory;
    config.forwardingSwitches = {"/proc/sys/net/ipv4/ip_forward", "/proc/sys/net/ipv6/conf/all/forwarding"};
    config.polkitActionId = ferrow::kHelperPolkitAction;
    config.publicKeyPem = ferrow::kMakerPublicKeyPem;
    config.callerIdentifier = ferrow::kApplicationIdentifier;
    config.coreIdentifier = ferrow::kCoreIdentifier;
    config.defaultTunName = ferrow::helperprotocol::kDefaultTunName;
    config.lanResolverSockets = [](const std::function<void(const std::string&)>& log) {
        return bindLanResolverSockets(log);
    };
    config.log = [](const std::string& line) {
        // journald takes standard error as the service's log.
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    };
    return config;
}
