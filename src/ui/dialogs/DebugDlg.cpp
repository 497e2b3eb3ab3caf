#include "dialogs/DebugDlg.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "widgets/DialogUnits.h"

CDebugDlg::CDebugDlg(QWidget* owner, const platform::LocalClock& clock)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      clock_(clock),
      text_(new QPlainTextEdit(this)) {
    // Japanese in every interface language, as its lines and the operation log are.
    setWindowTitle(QStringLiteral("デバッグ情報"));
    setFont(DialogFont(8));
    const DialogBaseUnits units = BaseUnitsOf(font());
    resize(DialogUnitsToPixels(units, QSize(307, 439)));

    text_->setObjectName(QStringLiteral("debugText"));
    text_->setGeometry(DialogUnitsToPixels(units, QRect(7, 7, 293, 425)));
    text_->setReadOnly(true);
    text_->setUndoRedoEnabled(false);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

CDebugDlg::~CDebugDlg() = default;

void CDebugDlg::CreateWindow() {
    move(0, 0);
    show();
}

// The window has no close box and the program never closes it: Escape must not either.
void CDebugDlg::reject() {}

void CDebugDlg::LogCommand(int64_t counter, const uint8_t* packet) {
    if (logLevel == 0) return;
    AppendLine(FormatCommandTrace(counter, packet));
}

void CDebugDlg::LogMessage(const char* format, ...) {
    if (logLevel != 2) return;
    va_list args;
    va_start(args, format);
    const std::string text = FormatMessageV(format, args);
    va_end(args);
    AppendLine(text);
}

void CDebugDlg::LogNote(const std::string& text) {
    if (logLevel == 0) return;
    AppendLine(text);
}

void CDebugDlg::AppendLine(const std::string& text) {
    QString line = QString::fromStdString(FormatDebugLine(clock_.Now(), text));
    const std::lock_guard lock(pendingLock_);
    pending_.push_back(std::move(line));
    // Lines that would fall off the bottom at once need not reach the window at all.
    if (pending_.size() > static_cast<size_t>(kMaxLines)) pending_.pop_front();
    if (!flushScheduled_) {
        flushScheduled_ = true;
        QMetaObject::invokeMethod(this, &CDebugDlg::FlushLines, Qt::QueuedConnection);
    }
}

void CDebugDlg::FlushLines() {
    std::deque<QString> given;
    {
        const std::lock_guard lock(pendingLock_);
        flushScheduled_ = false;
        given.swap(pending_);
    }
    if (given.empty()) return;
    // Newest on top: the pending lines in reverse order, one insertion at the start.
    QString block;
    for (auto line = given.rbegin(); line != given.rend(); ++line) {
        if (!block.isEmpty()) block += QChar(u'\n');
        block += *line;
    }
    // The document always ends with one block after the last line break; the first lines
    // go into it, every later batch is put in front with its own break.
    QTextCursor cursor(text_->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(lines_ == 0 ? block : block + QChar(u'\n'));
    lines_ += static_cast<int>(given.size());
    if (lines_ > kMaxLines) {
        // Everything after the kMaxLines-th line goes, with the break before it.
        QTextCursor last(text_->document()->findBlockByNumber(kMaxLines - 1));
        last.movePosition(QTextCursor::EndOfBlock, QTextCursor::MoveAnchor);
        last.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        last.removeSelectedText();
        lines_ = kMaxLines;
    }
    text_->moveCursor(QTextCursor::Start);
    text_->ensureCursorVisible();
}
