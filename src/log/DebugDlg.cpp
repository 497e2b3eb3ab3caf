#include "log/DebugDlg.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "app/DialogUnits.h"

CDebugDlg::CDebugDlg(QWidget* owner, const platform::LocalClock& clock)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      clock_(clock),
      text_(new QPlainTextEdit(this)) {
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

void CDebugDlg::AppendLine(const std::string& text) {
    const QString line = QString::fromStdString(FormatDebugLine(clock_.Now(), text));
    QTextCursor cursor(text_->document());
    cursor.movePosition(QTextCursor::Start);
    // The document always ends with one block after the last line break; the first line
    // goes into it, every later one is put in front with its own break.
    cursor.insertText(lines_ == 0 ? line : line + QChar(u'\n'));
    ++lines_;
    if (lines_ > kMaxLines) {
        QTextCursor last(text_->document()->lastBlock());
        last.movePosition(QTextCursor::PreviousBlock, QTextCursor::MoveAnchor);
        last.movePosition(QTextCursor::EndOfBlock, QTextCursor::MoveAnchor);
        last.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        last.removeSelectedText();
        --lines_;
    }
    text_->moveCursor(QTextCursor::Start);
    text_->ensureCursorVisible();
}
