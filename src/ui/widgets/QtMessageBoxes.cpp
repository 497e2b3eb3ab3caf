#include "widgets/QtMessageBoxes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

namespace {

void ShowModal(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

void QtMessageBoxes::Show(const std::string& text, const std::string& caption) {
    // Looked up on the calling thread: translate() may be called from any thread.
    const QString qtext = QCoreApplication::translate(kContext, text.c_str());
    const QString qcaption = QCoreApplication::translate(kContext, caption.c_str());
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    if (QThread::currentThread() == app->thread()) {
        ShowModal(qtext, qcaption);
    } else {
        QMetaObject::invokeMethod(
            app, [qtext, qcaption] { ShowModal(qtext, qcaption); }, Qt::QueuedConnection);
    }
}
