#pragma once

// The About box: program name, version, author and an OK button. Run modally by the main
// window's Help menu and destroyed when it closes.

#include <QDialog>

class QLabel;
class QLineEdit;

// The project's version (CMakeLists.txt), as the package carries it.
inline constexpr const char* kVersion = KESTRUNE_VERSION;

class CAboutDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* owner = nullptr);

    [[nodiscard]] QLabel* VersionLabel() const { return versionLabel_; }

private:
    QLineEdit* noteEdit_;
    QLabel* versionLabel_;
};
