#pragma once

// Names, paths and numbers that Ferrow, ferrow-helper and ferrow-core must agree on.
// Plain C++ so that every program of the project can include it.

namespace ferrow {

// Identity
inline constexpr char kApplicationIdentifier[] = "zq.orbel.ferrow-mac";
inline constexpr char kApplicationName[] = "Ferrow";
inline constexpr char kHelperIdentifier[] = "zq.orbel.ferrow-mac.helper";
inline constexpr char kCoreIdentifier[] = "ferrow-core";
inline constexpr char kCoreExecutableName[] = "ferrow-core";
inline constexpr char kHelperExecutableName[] = "ferrow-helper";

// The privileged helper
inline constexpr char kHelperServiceName[] = "zq.orbel.ferrow-mac.helper";
inline constexpr int kHelperProtocolVersion = 4;
inline constexpr char kHelperSocketPath[] = "/run/zq.orbel.ferrow-mac.helper.sock";
inline constexpr char kInstalledHelperPath[] = "/usr/local/libexec/zq.orbel.ferrow-mac.helper";
inline constexpr char kHelperSocketUnitPath[] = "/etc/systemd/system/zq.orbel.ferrow-mac.helper.socket";
inline constexpr char kHelperServiceUnitPath[] = "/etc/systemd/system/zq.orbel.ferrow-mac.helper.service";
inline constexpr char kStagedCorePath[] = "/usr/local/libexec/zq.orbel.ferrow-mac.core";
inline constexpr char kHelperAPIInfoDirectory[] = "/run/ferrow";
inline constexpr char kHelperAPIInfoPath[] = "/run/ferrow/api-info.json";
inline constexpr char kHelperStateDirectory[] = "/var/lib/ferrow";
inline constexpr char kHelperCoreStateDirectory[] = "/var/lib/ferrow-core";
inline constexpr char kHelperPolkitAction[] = "zq.orbel.ferrow-mac.helper.start-core";
inline constexpr char kHelperPolkitPolicyPath[] =
    "/usr/share/polkit-1/actions/zq.orbel.ferrow-mac.helper.policy";

// The helper as the system package installs it. Its staged core lives in the helper's root-only
// state folder, so the core is started through the descriptor the helper verified, not its path.
inline constexpr char kPackageName[] = "ferrow";
inline constexpr char kPackagedHelperPath[] = "/usr/libexec/ferrow/ferrow-helper";
inline constexpr char kPackagedStagedCorePath[] = "/var/lib/ferrow/ferrow-core";
/// Where a package's units are; systemd reports either, depending on how it was built.
inline constexpr const char* kPackagedUnitDirectories[] = {"/lib/systemd/system", "/usr/lib/systemd/system"};

// The core's local proxy listener and its controller API
inline constexpr int kSocksPort = 7891;
inline constexpr char kSocksAddress[] = "127.0.0.1:7891";
inline constexpr char kSocksLANBindAddress[] = "0.0.0.0:7891";
inline constexpr char kAPIBindAddress[] = "127.0.0.1:0";
inline constexpr char kAPISecretEnvironmentVariable[] = "FERROW_API_SECRET";

// Members of the api-info file
inline constexpr char kAPIInfoAddressKey[] = "address";
inline constexpr char kAPIInfoSecretKey[] = "secret";

// The application support folder ($XDG_DATA_HOME/Ferrow) and what it holds
inline constexpr char kSupportFolderName[] = "Ferrow";
inline constexpr char kProfilesFolderName[] = "Profiles";
inline constexpr char kProfileExtension[] = "conf";
inline constexpr char kRenderedConfigFileName[] = "profile.conf";
inline constexpr char kLegacyLibraryFileName[] = "profiles.json";
inline constexpr char kLegacyLibraryInvalidFileName[] = "profiles.json.invalid";
inline constexpr char kLegacyLaunchScriptFileName[] = "launch-core.sh";
inline constexpr char kLegacyPrivilegedScriptFileName[] = "privileged.sh";
inline constexpr char kSocksAPIInfoFileName[] = "socks-api.json";
inline constexpr char kProbeAPIInfoFileName[] = "probe-api.json";
inline constexpr char kProbeStatsFileName[] = "probe-stats.json";

// User settings: $XDG_CONFIG_HOME/Ferrow/Ferrow.conf (INI)
inline constexpr char kSettingsFolderName[] = "Ferrow";
inline constexpr char kSettingsFileName[] = "Ferrow.conf";

// Install layout below the prefix
inline constexpr char kLibexecSubdirectory[] = "libexec/ferrow";
inline constexpr char kRuleSetsSubdirectory[] = "share/ferrow/rule-sets";

} // namespace ferrow
