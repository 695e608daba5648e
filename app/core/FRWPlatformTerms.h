#pragma once

/// Words of user-facing texts that name the platform. One table, so that another edition of
/// Ferrow can put its own words in.
namespace FRWPlatformTerms {

inline constexpr char kOperatingSystem[] = "the system";
inline constexpr char kOperatingSystemCapitalised[] = "The system";
inline constexpr char kThisComputer[] = "this computer";
inline constexpr char kComputer[] = "computer";
inline constexpr char kFileManager[] = "File Manager";
inline constexpr char kSystemService[] = "system service";
inline constexpr char kReleaseSigning[] = "release";

} // namespace FRWPlatformTerms
