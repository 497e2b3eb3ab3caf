#include "widgets/QtMessageBoxes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

namespace {

void ShowModal(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    // Texts carry file and device names: shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// Looked up on the calling thread: translate() may be called from any thread.
QString Translated(const std::string& text) {
    return QCoreApplication::translate(QtMessageBoxes::kContext, text.c_str());
}

void Queue(const QString& text, const QString& caption) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [text, caption] { ShowModal(text, caption); }, Qt::QueuedConnection);
    }
}

}  // namespace

void QtMessageBoxes::Show(const std::string& text, const std::string& caption) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    if (QThread::currentThread() == app->thread()) {
        ShowModal(Translated(text), Translated(caption));
    } else {
        Queue(Translated(text), Translated(caption));
    }
}

void QtMessageBoxes::Post(const std::string& text, const std::string& caption) {
    Queue(Translated(text), Translated(caption));
}
