#pragma once

// The interface's language. The texts are written in Japanese, the source language, which is
// what a session that names no language gets; an English translation is compiled into the
// program for everyone else. main installs it once, after the application object is made and
// before any window. The operation log and the debug window's lines stay Japanese whatever
// the choice: they are a stored format.

#include <QStringList>

enum class UiLanguage { kJapanese, kEnglish };

// The language for the user's preferred languages, most preferred first, as
// QLocale::uiLanguages() lists them ("ja-JP", "en", "C"):
//
//   entries                 language
//   ja... or en... first    that one (entries of other languages before it are passed over)
//   others only (de, fr)    English
//   none, C, POSIX, empty   Japanese
[[nodiscard]] UiLanguage ChooseUiLanguage(const QStringList& preferred);

// Installs the translation for `language` in the application (Japanese needs none); the
// application owns the translator. False when the English translation could not be loaded:
// the interface then stays Japanese.
bool InstallTranslation(UiLanguage language);

// The session's language (LANGUAGE, LC_ALL, LC_MESSAGES and LANG, as Qt reads them), chosen
// and installed; the language the interface now speaks.
UiLanguage InstallSessionLanguage();
