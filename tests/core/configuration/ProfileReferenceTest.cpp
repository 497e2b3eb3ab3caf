// The ini reader against the Windows profile functions: tests/data/profile holds ini files,
// the queries put to them, and the answers the reference gave (scripts/make-profile-answers).

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "configuration/Profile.h"
#include "support/TestSupport.h"

namespace {

const std::string kFolder = KESTRUNE_TEST_DATA "/profile/";

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// The lines that are neither empty nor comments.
std::vector<std::string> DataLines(const std::string& file) {
    std::istringstream in(testing_support::ReadFile(kFolder + file));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    }
    return lines;
}

// Decodes \t, \\ and \xNN.
std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
        } else if (text[i + 1] == 't') {
            out += '\t';
            ++i;
        } else if (text[i + 1] == 'x' && i + 3 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[++i];
        }
    }
    return out;
}

struct Answer {
    std::string row;  // the stored line, for the failure message
    std::string file, section, key, stringDefault;
    int intDefault = 0;
    std::string text;
    int number = 0;
};

std::vector<Answer> ReadAnswers() {
    std::vector<Answer> answers;
    for (const auto& line : DataLines("answers.tsv")) {
        const auto fields = SplitTabs(line);
        if (fields.size() != 8) {
            ADD_FAILURE() << "answers.tsv: not 8 fields: " << line;
            continue;
        }
        answers.push_back({line, Unescape(fields[0]), Unescape(fields[1]), Unescape(fields[2]),
                           Unescape(fields[3]), std::stoi(fields[4]), Unescape(fields[6]),
                           std::stoi(fields[7])});
    }
    return answers;
}

// A query added without running the reference would otherwise go unchecked.
TEST(ProfileReference, AnswersAreForTheCurrentQueries) {
    const auto queries = DataLines("queries.tsv");
    const auto answers = DataLines("answers.tsv");
    ASSERT_EQ(answers.size(), queries.size()) << "run scripts/make-profile-answers";
    for (size_t i = 0; i < queries.size(); ++i) {
        EXPECT_EQ(answers[i].substr(0, queries[i].size() + 1), queries[i] + '\t')
            << "run scripts/make-profile-answers";
    }
}

TEST(ProfileReference, ReadersGiveTheReferenceAnswers) {
    const auto answers = ReadAnswers();
    ASSERT_GT(answers.size(), 200u);
    for (const auto& a : answers) {
        SCOPED_TRACE(a.row);
        const std::string path = kFolder + a.file;
        EXPECT_EQ(profile::GetString(a.section, a.key, a.stringDefault, path), a.text);
        EXPECT_EQ(profile::GetInt(a.section, a.key, a.intDefault, path), a.number);
    }
}

}  // namespace
