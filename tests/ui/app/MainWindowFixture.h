#pragma once

// Shared fixture of the main-window tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/KestruneDlg.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "support/TestSupport.h"

// A file of the media made at build time for the tests.
inline QString Media(const char* name) {
    return QString::fromUtf8(KESTRUNE_TEST_MEDIA) + QChar(u'/') + QString::fromUtf8(name);
}

// Answers the next file dialog as a user would: types the path and presses Enter. Keeps
// what the dialog showed.
class FileDialogAnswer {
public:
    explicit FileDialogAnswer(const QString& path) {
        QObject::connect(&timer_, &QTimer::timeout, [this, path] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || answered) return;
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name == nullptr) return;
            caption = dialog->windowTitle();
            filters = dialog->nameFilters();
            answered = true;
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
        });
        timer_.start(50);
    }

    bool answered = false;
    QString caption;
    QStringList filters;

private:
    QTimer timer_;
};

// A main window started in a folder of its own, with its ini file and operation log there.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::getcwd(previousDir, sizeof previousDir), previousDir);
        ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    }
    void TearDown() override {
        window.reset();
        ASSERT_EQ(::chdir(previousDir), 0);
    }

    void WriteIni(const std::string& content) {
        testing_support::WriteFile(dir / "Kestrune.ini", content);
    }

    CKestruneDlg& Open() {
        window = std::make_unique<CKestruneDlg>(boxes);
        return *window;
    }

    // The window's control bar, whose signals stand for the user's clicks.
    [[nodiscard]] CBottomMainDlg& Bar() const { return *window->BottomPanel()->Bar(); }

    // Waits until everything queued on the window so far has been handled.
    void Settle() {
        bool done = false;
        window->Post([&] { done = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    }

    CKestruneDlg& OpenShown() {
        Open();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }

    // The operation log's lines, converted back to UTF-8.
    std::vector<std::string> LogLines() const {
        const std::string path = window->GetOperationLog().Path();
        const std::string text = testing_support::Cp932ToUtf8(testing_support::ReadFile(path));
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }

    bool LogHas(const std::string& message) const {
        for (const auto& line : LogLines()) {
            if (line.size() >= message.size() &&
                line.compare(line.size() - message.size(), message.size(), message) == 0) {
                return true;
            }
        }
        return false;
    }

    testing_support::TempDir dir;
    testing_support::ScopedEnv dataHome{"XDG_DATA_HOME", dir / "share"};
    char previousDir[4096] = {};
    testing_support::RecordingMessageBoxes boxes;
    std::unique_ptr<CKestruneDlg> window;
};
