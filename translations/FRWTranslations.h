#pragma once

#include <QString>
#include <QStringList>

/// The app's language: which of its translations to load, with Qt's own texts (dialog buttons),
/// and the direction the windows are laid out in.
namespace FRWTranslations {

/// Installs the first of Ferrow's translations that fits the languages given (most wanted first,
/// as QLocale::uiLanguages() lists them), with Qt's translation for it when one is installed, and
/// sets the application's layout direction from it. English, or no fitting translation, removes
/// what an earlier call installed. Returns the name of the locale chosen ("en" for the source texts).
QString install(const QStringList& uiLanguages);

/// The locales Ferrow carries a translation for.
QStringList available();

} // namespace FRWTranslations
