#pragma once

#include <QCoreApplication>
#include <QString>

/// Words of user-facing texts that name the platform. One table, so that another edition of
/// Ferrow can put its own words in.
namespace FRWPlatformTerms {

inline constexpr char kOperatingSystem[] = QT_TRANSLATE_NOOP("FRWPlatformTerms", "the system");
inline constexpr char kOperatingSystemCapitalised[] = QT_TRANSLATE_NOOP("FRWPlatformTerms", "The system");
inline constexpr char kThisComputer[] = QT_TRANSLATE_NOOP("FRWPlatformTerms", "this computer");
inline constexpr char kComputer[] = QT_TRANSLATE_NOOP("FRWPlatformTerms", "computer");
inline constexpr char kFileManager[] = QT_TRANSLATE_NOOP("FRWPlatformTerms", "File Manager");
inline constexpr char kSystemService[] = QT_TRANSLATE_NOOP("FRWPlatformTerms", "system service");
inline constexpr char kReleaseSigning[] = QT_TRANSLATE_NOOP("FRWPlatformTerms", "release");

/// One of the words above in the user's language.
inline QString term(const char* word)
{
    return QCoreApplication::translate("FRWPlatformTerms", word);
}

} // namespace FRWPlatformTerms
