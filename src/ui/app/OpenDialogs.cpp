#include "app/OpenDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>

#include "dialogs/DriveSelectDlg.h"

namespace {

QString Translate(const char* text) { return QCoreApplication::translate("OpenDialogs", text); }

// One existing file, in Qt's own dialog (the same on every desktop, and reachable by tests).
std::optional<QString> AskForFile(QWidget* parent, const QString& caption, const char* name,
                                  const QStringList& filters) {
    QFileDialog dialog(parent, caption);
    dialog.setObjectName(QLatin1String(name));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

std::optional<QString> AskForVideoFile(QWidget* parent) {
    return AskForFile(parent, Translate(QT_TRANSLATE_NOOP("OpenDialogs", "動画を開く")),
                      "openVideoDialog", {});
}

std::optional<QString> AskForPlayFile(QWidget* parent) {
    return AskForFile(parent, Translate(QT_TRANSLATE_NOOP("OpenDialogs", "開く")),
                      "openPlayFileDialog",
                      {Translate(QT_TRANSLATE_NOOP("OpenDialogs", "プレイファイル (*.csv *.txt)")),
                       Translate(QT_TRANSLATE_NOOP("OpenDialogs", "すべてのファイル (*)"))});
}

std::optional<std::string> AskForDvd(QWidget* parent) {
    CDriveSelectDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.Result();
}
