#pragma once

// The content of the bottom panel: the control bar, stacked exactly over its host. Each
// user action becomes one operation-log line and one message posted to the main window;
// the bar never calls the main window. Owned by its host.

#include <QString>
#include <QWidget>

class OutputLog;
class QPushButton;
class QAbstractButton;

class CBottomMainDlg final : public QWidget {
    Q_OBJECT

public:
    static constexpr int IDC_MAXIMIZE = 1017;

    CBottomMainDlg(QWidget* host, QWidget* mainWindow, OutputLog& log);

    // Lays the controls out over the host's current geometry.
    void FollowHost();
    void ApplyLayoutMode(bool expanded);
    // The bar shows no device name: the label is always emptied.
    void SetDeviceName(const QString& name);
    [[nodiscard]] QAbstractButton* GetMaximizeButton() const;

private:
    void OnMaximizeClicked();

    QWidget* mainWindow_;
    OutputLog& log_;
    QPushButton* maximizeButton_;
};
