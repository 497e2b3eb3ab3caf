#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "configuration/Profile.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// Each case writes its own ini file into a fresh folder.
class IniFile {
public:
    explicit IniFile(const std::string& content) : path_(dir_ / "Kestrune.ini") {
        WriteFile(path_, content);
    }
    [[nodiscard]] const std::string& Path() const { return path_; }

private:
    TempDir dir_;
    std::string path_;
};

// ---------------------------------------------------------------------------------------------
// GetString: lookup rules.

struct StringCase {
    std::string name;
    std::string content;
    std::string section;
    std::string key;
    std::string expected;
};

class ProfileString : public testing::TestWithParam<StringCase> {};

TEST_P(ProfileString, FindsValue) {
    const auto& c = GetParam();
    IniFile ini(c.content);
    EXPECT_EQ(profile::GetString(c.section, c.key, "DEFAULT", ini.Path()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lookup, ProfileString,
    testing::Values(
        StringCase{"NamesIgnoreCase", "[Player]\nVolume=50\n", "PLAYER", "vOLUME", "50"},
        StringCase{"FirstMatchingSectionWins", "[Dev]\nport=first\n[DEV]\nport=second\n", "dev",
                   "port", "first"},
        StringCase{"LaterSectionOfSameNameIgnored", "[Dev]\nother=1\n[Dev]\nport=second\n", "Dev",
                   "port", "DEFAULT"},
        StringCase{"FirstMatchingKeyWins", "[Dev]\nPORT=1\nport=2\n", "Dev", "port", "1"},
        StringCase{"KeyOfAnotherSectionNotSeen", "[A]\nx=1\n[B]\nport=2\n", "A", "port", "DEFAULT"},
        StringCase{"KeyBeforeFirstSectionNotInIt", "port=0\n[A]\nx=1\n", "A", "port", "DEFAULT"},
        StringCase{"KeyAfterSectionlessKey", "port=0\n[A]\nport=1\n", "A", "port", "1"},
        StringCase{"KeyPrefixDoesNotMatch", "[A]\nportable=1\n", "A", "port", "DEFAULT"},
        StringCase{"SectionPrefixDoesNotMatch", "[AB]\nport=1\n", "A", "port", "DEFAULT"},
        StringCase{"KeyAndValueTrimmed", "[A]\n \t port \t=  \tv a l \t \n", "A", "port", "v a l"},
        StringCase{"QuotesRemovedInnerBlanksKept", "[A]\nport=\"  quoted  \"\n", "A", "port",
                   "  quoted  "},
        StringCase{"QuotesRemovedAfterTrim", "[A]\nport =  \"x\"  \n", "A", "port", "x"},
        StringCase{"EmptyQuotes", "[A]\nport=\"\"\n", "A", "port", ""},
        StringCase{"UnmatchedLeadingQuoteKept", "[A]\nport=\"open\n", "A", "port", "\"open"},
        StringCase{"UnmatchedTrailingQuoteKept", "[A]\nport=close\"\n", "A", "port", "close\""},
        StringCase{"LoneQuoteKept", "[A]\nport=\"\n", "A", "port", "\""},
        StringCase{"SemicolonLineIsAnotherKey", "[A]\n;port=commented\nport=real\n", "A", "port",
                   "real"},
        StringCase{"SemicolonKeyOnly", "[A]\n;port=commented\n", "A", "port", "DEFAULT"},
        StringCase{"SemicolonBeforeHeader", ";[A]\nport=1\n", "A", "port", "DEFAULT"},
        StringCase{"EqualsSignInValue", "[A]\nport=a=b\n", "A", "port", "a=b"},
        StringCase{"EmptyValueIsNotDefault", "[A]\nport=\n", "A", "port", ""},
        StringCase{"CrLfLines", "[A]\r\nx=1\r\nport = value \r\n[B]\r\n", "A", "port", "value"},
        StringCase{"LastLineWithoutNewline", "[A]\nport=last", "A", "port", "last"},
        StringCase{"MissingSection", "[A]\nport=1\n", "B", "port", "DEFAULT"},
        StringCase{"MissingKey", "[A]\nport=1\n", "A", "baud", "DEFAULT"},
        StringCase{"EmptyFile", "", "A", "port", "DEFAULT"}),
    [](const auto& info) { return info.param.name; });

struct LengthCase {
    size_t length;
    size_t expected;
};

class ProfileValueLength : public testing::TestWithParam<LengthCase> {};

TEST_P(ProfileValueLength, CutTo255Characters) {
    const auto& c = GetParam();
    std::string value;
    for (size_t i = 0; i < c.length; ++i) value += static_cast<char>('a' + i % 26);
    IniFile ini("[A]\nk=" + value + "\n");
    EXPECT_EQ(profile::GetString("A", "k", "", ini.Path()), value.substr(0, c.expected));
}

INSTANTIATE_TEST_SUITE_P(Lengths, ProfileValueLength,
                         testing::Values(LengthCase{254, 254}, LengthCase{255, 255},
                                         LengthCase{256, 255}, LengthCase{1000, 255}),
                         [](const auto& info) { return std::to_string(info.param.length); });

TEST(ProfileMissingFile, EveryReaderGivesItsDefault) {
    TempDir dir;
    const std::string missing = dir / "absent.ini";
    std::vector<std::string> list{"kept"};

    EXPECT_EQ(profile::GetString("A", "k", "fallback", missing), "fallback");
    EXPECT_EQ(profile::GetInt("A", "k", -1, missing), -1);
    EXPECT_EQ(profile::GetKeyword("A", "k", missing), -1);
    EXPECT_EQ(profile::ReadProfileList("A", "k", "", list, missing), 0u);
    EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

// ---------------------------------------------------------------------------------------------
// GetInt.

struct IntCase {
    std::string name;
    std::string line;  // the whole key line, or empty for no key at all
    int expected;
};

class ProfileInt : public testing::TestWithParam<IntCase> {};

TEST_P(ProfileInt, ReadsLeadingInteger) {
    const auto& c = GetParam();
    IniFile ini("[Dev]\n" + c.line + "\nother=99\n");
    EXPECT_EQ(profile::GetInt("Dev", "Value", -1, ini.Path()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileInt,
    testing::Values(IntCase{"Plain", "Value=42", 42}, IntCase{"Letters", "Value=abc", 0},
                    IntCase{"DigitsThenLetters", "Value=12abc", 12},
                    IntCase{"Negative", "Value=-5", -5}, IntCase{"ExplicitPlus", "Value=+7", 7},
                    IntCase{"SignOnly", "Value=-", 0}, IntCase{"LeadingZeros", "Value=007", 7},
                    IntCase{"StopsAtBlank", "Value=1 2", 1},
                    IntCase{"Trimmed", "Value =  -31  ", -31},
                    IntCase{"Quoted", "Value=\"15\"", 15},
                    IntCase{"Largest", "Value=2147483647", 2147483647},
                    IntCase{"Zero", "Value=0", 0}, IntCase{"EmptyValue", "Value=", -1},
                    IntCase{"EmptyQuotes", "Value=\"\"", -1}, IntCase{"MissingKey", "", -1}),
    [](const auto& info) { return info.param.name; });

// Settings such as the serial parity are kept in a byte: the reader must hand back the full
// integer so that storing it keeps the low eight bits.
TEST(ProfileInt8Bit, StoredValueKeepsLowByte) {
    IniFile ini("[Serial]\nPARITY=-1\nSTOPBITS=258\n");
    EXPECT_EQ(static_cast<uint8_t>(profile::GetInt("Serial", "PARITY", 0, ini.Path())), 255);
    EXPECT_EQ(static_cast<uint8_t>(profile::GetInt("Serial", "STOPBITS", 0, ini.Path())), 2);
}

// ---------------------------------------------------------------------------------------------
// GetKeyword.

struct KeywordCase {
    std::string name;
    std::string line;
    int expected;
};

class ProfileKeyword : public testing::TestWithParam<KeywordCase> {};

TEST_P(ProfileKeyword, ReadsEnableDisable) {
    const auto& c = GetParam();
    IniFile ini("[Dev]\n" + c.line + "\n");
    EXPECT_EQ(profile::GetKeyword("Dev", "Use", ini.Path()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileKeyword,
    testing::Values(KeywordCase{"Enable", "Use=ENABLE", 1},
                    KeywordCase{"Disable", "Use=DISABLE", 0},
                    KeywordCase{"TrimmedEnable", "Use =  ENABLE  ", 1},
                    KeywordCase{"QuotedDisable", "Use=\"DISABLE\"", 0},
                    KeywordCase{"LowerCase", "Use=enable", -1},
                    KeywordCase{"MixedCase", "Use=Disable", -1}, KeywordCase{"One", "Use=1", -1},
                    KeywordCase{"Zero", "Use=0", -1}, KeywordCase{"Longer", "Use=ENABLED", -1},
                    KeywordCase{"Empty", "Use=", -1}, KeywordCase{"Missing", "", -1}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// ReadProfileList.

struct ListCase {
    std::string name;
    std::string line;
    std::string defaultValue;
    std::vector<std::string> appended;
    size_t returned;
};

class ProfileList : public testing::TestWithParam<ListCase> {};

TEST_P(ProfileList, AppendsPieces) {
    const auto& c = GetParam();
    IniFile ini("[Dev]\n" + c.line + "\n");
    std::vector<std::string> list{"existing"};
    std::vector<std::string> expected = list;
    expected.insert(expected.end(), c.appended.begin(), c.appended.end());

    EXPECT_EQ(profile::ReadProfileList("Dev", "List", c.defaultValue, list, ini.Path()),
              c.returned);
    EXPECT_EQ(list, expected);
}

const std::string k250(250, 'a');
const std::string k255(255, 'a');

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileList,
    testing::Values(ListCase{"EmptyPieceKept", "List=A,,B", "", {"A", "", "B"}, 4},
                    ListCase{"PiecesNotTrimmed", "List=A, B", "", {"A", " B"}, 3},
                    ListCase{"TrailingComma", "List=A,B,", "", {"A", "B", ""}, 4},
                    ListCase{"LoneComma", "List=,", "", {"", ""}, 3},
                    ListCase{"NoComma", "List=single", "", {"single"}, 2},
                    ListCase{"QuotedValue", "List=\" A,B \"", "", {" A", "B "}, 3},
                    ListCase{"EmptyValue", "List=", "", {}, 0},
                    ListCase{"MissingKey", "", "", {}, 0},
                    ListCase{"MissingKeyUsesDefault", "", "X,Y", {"X", "Y"}, 3},
                    ListCase{"CutInsideLastPiece",
                             "List=" + k250 + "," + std::string(49, 'b'),
                             "",
                             {k250, "bbbb"},
                             3},
                    ListCase{"CutDropsCommaPastLimit", "List=" + k255 + ",b", "", {k255}, 2}),
    [](const auto& info) { return info.param.name; });

}  // namespace
