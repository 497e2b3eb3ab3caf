// The interface in the session's language, as each run of the program meets it: the main window
// (by kestrune-language-probe, which starts it as the program does) and the program itself, each
// started with LANG set and LANGUAGE, LC_ALL and LC_MESSAGES unset. Japanese sessions see the
// source texts, English and other sessions the English ones; the operation log and the debug
// window's lines are Japanese in every language.

#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using testing_support::OperationLogText;
using testing_support::PlayerProcess;
using testing_support::TempDir;
using testing_support::WaitFor;
using testing_support::WriteFile;

const std::string kNotAVideo = std::string(KESTRUNE_TEST_MEDIA) + "/not-a-video.mp4";

struct Session {
    const char* name;
    const char* lang;
    bool english;
};

// What the probe prints (see LanguageProbe.cpp), in Japanese and in English.
struct Expected {
    const char* name;
    const char* japanese;
    const char* english;
};

const Expected kTexts[] = {
    {"menu.bar", "DVDメニュー | プレイファイル(&P) | ヘルプ(&H)", "DVD Menu | &Play File | &Help"},
    {"menu.help", "QUAMBERPlayerについて(&A)", "&About QUAMBERPlayer"},
    {"bar.tooltips",
     "再生 | 一時停止 | 動画を開く | DVDを開く | プレイファイルを開く | 消音 | リピート | 全画面 | "
     "早戻し | 早送り",
     "Play | Pause | Open video | Open DVD | Open play file | Mute | Repeat | Full screen | "
     "Rewind | Fast forward"},
    {"about.title", "QUAMBERPlayerについて", "About QUAMBERPlayer"},
    {"about.labels", "QUAMBERPlayer | バージョン 1.0.1.0 | 作成者: LOMBIX",
     "QUAMBERPlayer | Version 1.0.1.0 | Author: LOMBIX"},
    {"about.buttons", "OK", "OK"},
    {"drive.title", "DVDドライブ選択", "Select DVD Drive"},
    {"drive.buttons", "フォルダ/イメージを開く... | OK | キャンセル",
     "Open Folder/Image... | OK | Cancel"},
    {"drive.popup", "フォルダ... | イメージ (.iso)...", "Folder... | Image (.iso)..."},
    {"openVideo.title", "動画を開く", "Open Video"},
    {"openPlayFile.title", "開く", "Open"},
    {"openPlayFile.filters", "プレイファイル (*.csv *.txt) | すべてのファイル (*)",
     "Play files (*.csv *.txt) | All files (*)"},
    {"overlay", "オフセット +50 ms", "Offset +50 ms"},
    {"box.caption", "再生エラー", "Playback Error"},
    {"box.text", "メディアが再生できません。メディアを確認して下さい。",
     "The media cannot be played. Please check the media."},
    // The debug window is Japanese in every language, as the log is.
    {"debug.title", "デバッグ情報", "デバッグ情報"},
};

// The probe's lines by name, with line breaks restored.
std::map<std::string, std::string> ParseProbe(const std::string& output) {
    std::map<std::string, std::string> texts;
    size_t start = 0;
    for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = output.substr(start, end - start);
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::string text;
        for (size_t i = tab + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                text += line[++i] == 'n' ? '\n' : line[i];
            } else {
                text += line[i];
            }
        }
        texts[line.substr(0, tab)] = text;
    }
    return texts;
}

// Whether `pid` shows a window titled `title`, read from the title a window manager shows
// (_NET_WM_NAME, UTF-8). The older WM_NAME is in the program's locale's encoding, and a
// session language whose locale this machine lacks garbles it.
bool ShowsWindowTitled(pid_t pid, const std::string& title) {
    const std::string command = "xdotool search --all --onlyvisible --pid " + std::to_string(pid) +
                                " --name '' 2>/dev/null";
    std::vector<unsigned long> windows;
    if (FILE* out = ::popen(command.c_str(), "r")) {
        for (unsigned long id = 0; std::fscanf(out, "%lu", &id) == 1;) windows.push_back(id);
        ::pclose(out);
    }
    for (const unsigned long id : windows) {
        const std::string name = "xdotool getwindowname " + std::to_string(id) + " 2>/dev/null";
        std::string shown;
        if (FILE* out = ::popen(name.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, out) != nullptr) shown += buffer;
            ::pclose(out);
        }
        if (shown == title + "\n") return true;
    }
    return false;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void PrintTo(const Session& session, std::ostream* out) { *out << session.lang; }

class SessionLanguage : public ::testing::TestWithParam<Session> {
protected:
    // The session's language and nothing else that names one (empty counts as unset).
    [[nodiscard]] std::vector<std::string> LanguageEnv() const {
        return {std::string("LANG=") + GetParam().lang, "LANGUAGE=", "LC_ALL=", "LC_MESSAGES="};
    }

    TempDir dir;
};

TEST_P(SessionLanguage, TheMainWindowsMenusDialogsAndBoxesSpeakIt) {
    // The debug window shows, with every message.
    WriteFile(dir / "Kestrune.ini", "[DEBUG]\nLOG_LEVEL=2\n");
    QProcess probe;
    probe.setWorkingDirectory(QString::fromStdString(dir.Path()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) env.remove(QLatin1String(name));
    env.insert(QStringLiteral("LANG"), QLatin1String(GetParam().lang));
    env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(dir / "share"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(KESTRUNE_LANGUAGE_PROBE), {QString::fromStdString(kNotAVideo)});
    ASSERT_TRUE(probe.waitForFinished(180000)) << "the probe did not end";
    const std::string errors = probe.readAllStandardError().toStdString();
    ASSERT_EQ(probe.exitStatus(), QProcess::NormalExit) << errors;
    ASSERT_EQ(probe.exitCode(), 0) << errors;
    const auto texts = ParseProbe(probe.readAllStandardOutput().toStdString());

    for (const Expected& expected : kTexts) {
        const auto shown = texts.find(expected.name);
        ASSERT_NE(shown, texts.end()) << expected.name << " was not printed";
        EXPECT_EQ(shown->second, GetParam().english ? expected.english : expected.japanese)
            << expected.name;
    }
    // The band's title while the file opens: the file's name in a whole sentence.
    EXPECT_TRUE(Contains(texts.at("titles"), GetParam().english
                                                 ? "not-a-video.mp4 (opening media...)"
                                                 : "not-a-video.mp4(メディアを開いています...)"))
        << texts.at("titles");
    // The debug window's lines and the operation log are stored formats: Japanese always, the
    // offset's line beside the overlay's translated text among them.
    EXPECT_TRUE(Contains(texts.at("debug.lines"), "再生メディアに動画ファイルが指定されました"))
        << texts.at("debug.lines");
    const std::string log = OperationLogText(dir);
    EXPECT_TRUE(Contains(log, ",DVDドライブ選択ボタンクリック\r\n")) << log;
    EXPECT_TRUE(Contains(log, ",同期オフセット変更：+50 ms\r\n")) << log;
    EXPECT_TRUE(Contains(log, ",動画ファイル選択：not-a-video.mp4\r\n")) << log;
}

// The program installs the session's language before its window: the box for a file that is
// not a video, opened from the command line, has the caption of that language.
TEST_P(SessionLanguage, TheProgramsErrorBoxSpeaksIt) {
    PlayerProcess player(dir, "", {kNotAVideo, "--play"}, LanguageEnv());
    ASSERT_GT(player.Pid(), 0);
    const pid_t pid = player.Pid();
    const std::string caption = GetParam().english ? "Playback Error" : "再生エラー";
    EXPECT_TRUE(WaitFor([&] { return ShowsWindowTitled(pid, caption); }, 30s))
        << "no box titled " << caption;
    EXPECT_TRUE(Contains(OperationLogText(dir), ",動画ファイル選択：not-a-video.mp4\r\n"));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(player.WaitExit(20s), 0);
}

const Session kSessions[] = {
    {"Japanese", "ja_JP.UTF-8", false},
    {"English", "en_US.UTF-8", true},
    // Half the users read no Japanese: any other language gets English.
    {"German", "de_DE.UTF-8", true},
};

INSTANTIATE_TEST_SUITE_P(Sessions, SessionLanguage, ::testing::ValuesIn(kSessions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
