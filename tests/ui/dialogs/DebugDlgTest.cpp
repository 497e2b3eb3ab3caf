#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <string>

#include "dialogs/DebugDlg.h"
#include "support/TestSupport.h"

namespace {

using testing_support::FixedClock;

std::string Trace(int64_t counter, uint8_t command) {
    const uint8_t packet[3] = {0x01, 0x01, command};
    return FormatCommandTrace(counter, packet);
}

TEST(CommandTrace, ShowsDirectionSpeedAndBytes) {
    struct Case {
        int64_t counter;
        uint8_t command;
        const char* expected;
    } cases[] = {
        {12, 0xAB, "カウンタ:    12 / 方向: 1 / 回転速度:  43 (01 01 ab)"},
        {0, 0x7F, "カウンタ:     0 / 方向: 0 / 回転速度: 127 (01 01 7f)"},
        {7, 0x05, "カウンタ:     7 / 方向: 0 / 回転速度:   5 (01 01 05)"},
        {1234567, 0x80, "カウンタ: 1234567 / 方向: 1 / 回転速度:   0 (01 01 80)"},
        {-42, 0x00, "カウンタ:   -42 / 方向: 0 / 回転速度:   0 (01 01 00)"},
    };
    for (const auto& c : cases) EXPECT_EQ(Trace(c.counter, c.command), c.expected);
}

TEST(DebugLine, StampsLocalTimeWithMilliseconds) {
    EXPECT_EQ(FormatDebugLine({2026, 12, 7, 9, 5, 3, 45}, "x"), "09:05:03.045 x");
}

class DebugDlgTest : public ::testing::Test {
protected:
    FixedClock clock{{2026, 12, 7, 23, 59, 58, 7}};
    CDebugDlg dlg{nullptr, clock};

    QStringList Lines() {
        const QString text = dlg.TextControl()->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QChar(u'\n'));
    }
};

TEST_F(DebugDlgTest, LevelDecidesWhichLinesAreShown) {
    struct Case {
        int level;
        bool commands;
        bool messages;
    } cases[] = {
        {0, false, false}, {1, true, false}, {2, true, true}, {3, true, false}, {-1, true, false}};
    const uint8_t packet[3] = {1, 1, 0x32};
    for (const auto& c : cases) {
        CDebugDlg logger(nullptr, clock);
        logger.logLevel = c.level;
        logger.LogCommand(5, packet);
        logger.LogMessage("利用デバイス : %s", "dongle");
        logger.LogNote("設定ファイル：/x/Kestrune.ini");
        const QString text = logger.TextControl()->toPlainText();
        EXPECT_EQ(text.contains(QStringLiteral("設定ファイル：/x/Kestrune.ini")), c.level != 0)
            << "level " << c.level;
        EXPECT_EQ(text.contains(QStringLiteral("カウンタ")), c.commands) << "level " << c.level;
        EXPECT_EQ(text.contains(QStringLiteral("利用デバイス : dongle")), c.messages)
            << "level " << c.level;
    }
}

TEST_F(DebugDlgTest, NewestLineIsOnTopEvenWithinOneMillisecond) {
    dlg.logLevel = 2;
    dlg.LogMessage("first %d", 1);
    dlg.LogMessage("second %s", "two");
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("23:59:58.007 second two"));
    EXPECT_EQ(lines[1], QStringLiteral("23:59:58.007 first 1"));
    EXPECT_EQ(dlg.TextControl()->textCursor().position(), 0);
}

TEST_F(DebugDlgTest, MessagesHaveNoLengthLimit) {
    dlg.logLevel = 2;
    const std::string longText(5000, 'x');
    dlg.LogMessage("%s|end", longText.c_str());
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QString::fromStdString(longText + "|end")));
}

TEST_F(DebugDlgTest, KeepsTheNewestTenThousandLinesAndDropsTheOldest) {
    for (int i = 0; i < CDebugDlg::kMaxLines + 5; ++i) dlg.AppendLine(std::to_string(i));
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), CDebugDlg::kMaxLines);
    EXPECT_EQ(lines.front(), QStringLiteral("23:59:58.007 10004"));
    EXPECT_EQ(lines.back(), QStringLiteral("23:59:58.007 5"));
}

// Lines arriving over several turns of the event loop go in batch by batch, newest on top,
// and the oldest fall off at the bottom across batches.
TEST_F(DebugDlgTest, BatchesFromSeveralTurnsStackNewestOnTop) {
    for (int i = 0; i < CDebugDlg::kMaxLines - 2; ++i) dlg.AppendLine(std::to_string(i));
    QCoreApplication::processEvents();
    dlg.AppendLine("a");
    QCoreApplication::processEvents();
    for (const char* text : {"b", "c", "d", "e"}) dlg.AppendLine(text);
    QCoreApplication::processEvents();
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), CDebugDlg::kMaxLines);
    EXPECT_EQ(lines.mid(0, 6),
              QStringList({"23:59:58.007 e", "23:59:58.007 d", "23:59:58.007 c", "23:59:58.007 b",
                           "23:59:58.007 a", "23:59:58.007 9997"}));
    EXPECT_EQ(lines.back(), QStringLiteral("23:59:58.007 3"));
    EXPECT_EQ(dlg.TextControl()->textCursor().position(), 0);
}

TEST_F(DebugDlgTest, WindowHasItsTitleAndEscapeDoesNotCloseIt) {
    dlg.logLevel = 1;
    dlg.CreateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("デバッグ情報"));
    EXPECT_EQ(dlg.pos(), QPoint(0, 0));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(dlg.TextControl(), Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
}

}  // namespace
