#pragma once

// Keys of the user settings file. The names are shared with every edition of Ferrow.

namespace ferrow::defaults {

inline constexpr char kActiveProfile[] = "FRWActiveProfile";
inline constexpr char kDesiredSystemProxy[] = "FRWDesiredSystemProxy";
inline constexpr char kDesiredEnhancedMode[] = "FRWDesiredEnhancedMode";
inline constexpr char kAllowLAN[] = "FRWAllowLAN";
inline constexpr char kGatewayMode[] = "FRWGatewayMode";
inline constexpr char kProxyService[] = "FRWProxyService";
inline constexpr char kProxyBackup[] = "FRWProxyBackup";
// Whether the app may contact the public echo, location and latency services; absent reads as on.
inline constexpr char kNetworkChecks[] = "FRWNetworkChecks";
// Whether the update feed may be read without being asked; absent reads as on.
inline constexpr char kCheckForUpdates[] = "FRWCheckForUpdates";
// The member chosen in each select group: JSON, profile identifier → group name → member.
inline constexpr char kGroupChoices[] = "FRWGroupChoices";

// What the profile library last wrote to profile.conf, so hand edits can be told apart.
inline constexpr char kRenderedProfile[] = "FRWRenderedProfile";
inline constexpr char kRenderedStamp[] = "FRWRenderedStamp";

} // namespace ferrow::defaults
