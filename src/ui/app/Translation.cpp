#include "app/Translation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace {

// "ja-JP" -> "ja", "en_US.UTF-8" -> "en", "C.UTF-8" -> "c".
QString LanguageCode(const QString& entry) {
    qsizetype end = 0;
    while (end < entry.size() && entry[end] != u'-' && entry[end] != u'_' && entry[end] != u'.' &&
           entry[end] != u'@') {
        ++end;
    }
    return entry.left(end).toLower();
}

}  // namespace

UiLanguage ChooseUiLanguage(const QStringList& preferred) {
    bool otherLanguage = false;
    for (const QString& entry : preferred) {
        const QString code = LanguageCode(entry);
        if (code == u"ja") return UiLanguage::kJapanese;
        if (code == u"en") return UiLanguage::kEnglish;
        if (!code.isEmpty() && code != u"c" && code != u"posix") otherLanguage = true;
    }
    return otherLanguage ? UiLanguage::kEnglish : UiLanguage::kJapanese;
}

bool InstallTranslation(UiLanguage language) {
    if (language == UiLanguage::kJapanese) return true;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    auto* translator = new QTranslator(app);
    // Compiled from i18n/kestrune_en.ts into the program's resources.
    if (!translator->load(QStringLiteral(":/i18n/kestrune_en.qm")) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

UiLanguage InstallSessionLanguage() {
    const UiLanguage language = ChooseUiLanguage(QLocale::system().uiLanguages());
    return InstallTranslation(language) ? language : UiLanguage::kJapanese;
}
