// The interface's language: which one a session's preferred languages choose, and the English
// translation file kept up with the sources.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QXmlStreamReader>
#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/Translation.h"
#include "support/TestSupport.h"

void PrintTo(UiLanguage language, std::ostream* out) {
    *out << (language == UiLanguage::kEnglish ? "English" : "Japanese");
}

namespace {

using testing_support::TempDir;

struct Choice {
    const char* session;  // how the user's environment names the languages
    QStringList preferred;
    UiLanguage expected;
};

const UiLanguage kJa = UiLanguage::kJapanese;
const UiLanguage kEn = UiLanguage::kEnglish;

// The lists as QLocale::system().uiLanguages() gives them for each session.
const std::vector<Choice> kChoices = {
    {"LANG=ja_JP.UTF-8", {"ja-JP", "ja-Jpan-JP", "ja"}, kJa},
    {"LANG=en_US.UTF-8", {"en-US", "en-Latn-US", "en"}, kEn},
    {"LANG=en_GB", {"en-GB", "en-Latn-GB"}, kEn},
    {"LANG=C", {"C"}, kJa},
    {"the variable's own spelling", {"C.UTF-8"}, kJa},
    {"LANG=POSIX", {"POSIX"}, kJa},
    {"no language at all", {}, kJa},
    {"an empty entry", {""}, kJa},
    {"LANG=de_DE.UTF-8", {"de-DE", "de-Latn-DE", "de"}, kEn},
    {"LANG=zh_CN.UTF-8", {"zh-CN", "zh-Hans-CN", "zh"}, kEn},
    // Jamaican Creole: a language code that merely begins as Japanese's does.
    {"LANG=jam_JM", {"jam-JM"}, kEn},
    {"LANGUAGE=fr:ja", {"fr", "fr-Latn-FR", "fr-FR", "ja", "ja-Jpan-JP", "ja-JP"}, kJa},
    {"LANGUAGE=fr:en", {"fr", "fr-Latn-FR", "fr-FR", "en", "en-Latn-US", "en-US"}, kEn},
    {"LANGUAGE=ja:en", {"ja", "ja-Jpan-JP", "ja-JP", "en", "en-Latn-US", "en-US"}, kJa},
    {"LANGUAGE=en_GB:ja", {"en-GB", "en-Latn-GB", "ja", "ja-Jpan-JP", "ja-JP"}, kEn},
    {"LANGUAGE=fr with LANG=C", {"fr", "fr-Latn-FR", "fr-FR"}, kEn},
    {"the variable's own spelling", {"ja_JP.eucJP"}, kJa},
    {"upper case", {"EN-us"}, kEn},
};

TEST(ChooseUiLanguage, TheFirstJapaneseOrEnglishEntryDecidesOthersGiveEnglishNoneJapanese) {
    for (const Choice& c : kChoices) {
        EXPECT_EQ(ChooseUiLanguage(c.preferred), c.expected)
            << c.session << ": " << c.preferred.join(QLatin1Char(',')).toStdString();
    }
}

// ---------------------------------------------------------------------------------------------
// The translation file against the sources, as lupdate reads them.

struct Message {
    std::string translation;
    std::string type;  // "", "unfinished", "vanished" or "obsolete"
};
using Catalogue = std::map<std::pair<std::string, std::string>, Message>;  // (context, source)

Catalogue ReadCatalogue(const std::string& path) {
    Catalogue catalogue;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return catalogue;
    QXmlStreamReader xml(&file);
    std::string context;
    std::string source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const auto name = xml.name();
        if (name == u"name") {
            context = xml.readElementText().toStdString();
        } else if (name == u"source") {
            source = xml.readElementText().toStdString();
        } else if (name == u"translation") {
            Message message;
            message.type = xml.attributes().value(QLatin1String("type")).toString().toStdString();
            message.translation =
                xml.readElementText(QXmlStreamReader::IncludeChildElements).toStdString();
            catalogue[{context, source}] = message;
        }
    }
    return catalogue;
}

// The place markers (%1, %2 ...) of a text, in order.
std::vector<std::string> Markers(const std::string& text) {
    std::vector<std::string> markers;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') {
            markers.push_back(text.substr(i, 2));
        }
    }
    std::sort(markers.begin(), markers.end());
    return markers;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t end; start < text.size(); start = end + 1) {
        end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) words.push_back(text.substr(start, end - start));
    }
    return words;
}

// lupdate run over the sources into a copy of i18n/kestrune_en.ts: every message it finds has
// a finished English translation with the source's place markers, and the file holds no
// message the sources no longer have.
TEST(TranslationFile, EverySourceTextHasAFinishedEnglishTranslation) {
    TempDir dir;
    const std::string updated = dir / "kestrune_en.ts";
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRUNE_TS_FILE), QString::fromStdString(updated)));
    QStringList arguments = {QStringLiteral(KESTRUNE_SOURCE_DIR "/src")};
    for (const std::string& option : Split(KESTRUNE_LUPDATE_OPTIONS)) {
        arguments << QString::fromStdString(option);
    }
    arguments << QStringLiteral("-ts") << QString::fromStdString(updated);
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(KESTRUNE_LUPDATE), arguments);
    ASSERT_TRUE(lupdate.waitForFinished(120000));
    const std::string output = lupdate.readAll().toStdString();
    ASSERT_EQ(lupdate.exitStatus(), QProcess::NormalExit) << output;
    ASSERT_EQ(lupdate.exitCode(), 0) << output;

    const Catalogue checkedIn = ReadCatalogue(KESTRUNE_TS_FILE);
    const Catalogue current = ReadCatalogue(updated);
    ASSERT_FALSE(current.empty()) << output;
    std::vector<std::string> faults;
    for (const auto& [key, message] : current) {
        const std::string where = key.first + " \"" + key.second + "\"";
        if (message.type == "vanished" || message.type == "obsolete") {
            faults.push_back(message.type + " (no longer in the sources): " + where);
        } else if (!checkedIn.contains(key)) {
            faults.push_back("missing from i18n/kestrune_en.ts: " + where);
        } else if (message.type == "unfinished" || message.translation.empty()) {
            faults.push_back("unfinished: " + where);
        } else if (Markers(message.translation) != Markers(key.second)) {
            faults.push_back("place markers differ: " + where + " -> \"" + message.translation +
                             "\"");
        }
    }
    std::string list;
    for (const std::string& fault : faults) list += "\n  " + fault;
    EXPECT_TRUE(faults.empty()) << faults.size() << " message(s) to fix (build the target "
                                << "update_translations, then translate):" << list;
}

}  // namespace
