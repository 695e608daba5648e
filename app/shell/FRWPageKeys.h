#pragma once

// The keys that name the main window's pages; screens register their page under one of these.
namespace ferrow::pages {

inline constexpr char kActivity[] = "activity";
inline constexpr char kOverview[] = "overview";
inline constexpr char kConnections[] = "connections";
inline constexpr char kProcess[] = "process";
inline constexpr char kDevice[] = "device";
inline constexpr char kProfile[] = "profile";
inline constexpr char kPolicy[] = "policy";
inline constexpr char kRule[] = "rule";
inline constexpr char kLogs[] = "logs";
inline constexpr char kAbout[] = "about";
inline constexpr char kSettings[] = "settings";

} // namespace ferrow::pages
