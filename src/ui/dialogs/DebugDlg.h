#pragma once

// The debug window "デバッグ情報": the one real Logger. Shows the command trace (any
// non-zero LOG_LEVEL) and the diagnostic messages (LOG_LEVEL 2), newest line on top, each
// stamped with the local time. The main window owns it through its Logger pointer; its
// window exists only when CreateWindow was called (LOG_LEVEL not 0). It keeps the newest
// kMaxLines lines and drops the oldest, at the bottom. Lines given in one turn of the event
// loop go into the window together, so a burst (a play file of a million rejected lines)
// costs one insertion rather than one per line. Lines may be given from any thread (the
// device thread traces its packets): each is stamped as it is given and put in on the
// user-interface thread, in the order given.

#include <QDialog>
#include <QString>
#include <deque>
#include <mutex>
#include <string>

#include "log/Logger.h"
#include "platform/LocalClock.h"

class QPlainTextEdit;

class CDebugDlg final : public QDialog, public Logger {
    Q_OBJECT

public:
    static constexpr int kMaxLines = 10000;

    // `owner` keeps the window in front of it; `clock` stamps the lines.
    explicit CDebugDlg(QWidget* owner = nullptr,
                       const platform::LocalClock& clock = platform::SystemClock());
    ~CDebugDlg() override;

    // Shows the window at the top-left corner of the screen.
    void CreateWindow();

    void LogCommand(int64_t counter, const uint8_t* packet) override;
    void LogMessage(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    void LogNote(const std::string& text) override;

    // Puts one line at the top of the window (with the lines given before it, on the next
    // turn of the event loop). Any thread.
    void AppendLine(const std::string& text);
    // Puts the lines given so far into the window now. User-interface thread.
    void FlushLines();

    // The text control, holding every line given so far.
    [[nodiscard]] QPlainTextEdit* TextControl() {
        FlushLines();
        return text_;
    }

protected:
    void reject() override;

private:
    const platform::LocalClock& clock_;
    QPlainTextEdit* text_;
    int lines_ = 0;
    std::mutex pendingLock_;
    // Stamped lines not yet in the window, oldest first; never more than kMaxLines.
    std::deque<QString> pending_;
    bool flushScheduled_ = false;
};
