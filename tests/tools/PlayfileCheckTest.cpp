#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <utility>

#include "support/TestSupport.h"

using namespace std::string_literals;

namespace {

// Runs the checker; its exit status and standard output with each line's
// "hh:mm:ss.mmm " stamp replaced by "@" (stamped lines are the logger's).
std::pair<int, std::string> RunCheck(const std::string& arguments) {
    const std::string command =
        "'" KESTRUNE_BINARY_DIR "/kestrune-playfile-check' " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, ""};
    std::string output;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text = line;
        const bool stamped = text.size() > 13 && text[2] == ':' && text[5] == ':' &&
                             text[8] == '.' && text[12] == ' ';
        output += stamped ? "@" + text.substr(13) : text;
    }
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(PlayfileCheck, PrintsMessagesLinesAndCountWithExitStatus) {
    testing_support::TempDir dir;
    testing_support::WriteFile(dir / "demo.csv", "x,1,1\n20,1,5\n10,0,100\n");
    EXPECT_EQ(RunCheck("'" + (dir / "demo.csv") + "'"),
              std::make_pair(0,
                             "@1行目に数値以外のデータが記載されています\n"
                             "@プレイファイル(demo.csv)から2行の読み込みが完了しました\n"
                             "10,0,100\n20,1,5\n2 lines\n"s));
    EXPECT_EQ(RunCheck("/nonexistent/play.csv"),
              std::make_pair(1, "@プレイファイル(/nonexistent/play.csv)がオープンできません\n"s));
    EXPECT_EQ(RunCheck(""), std::make_pair(2, ""s));
}

}  // namespace
