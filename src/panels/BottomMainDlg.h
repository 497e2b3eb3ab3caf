#pragma once

// The content of the bottom panel: the control bar, stacked exactly over its host. Each
// user action becomes one operation-log line and one message posted to the main window;
// the bar never calls the main window. The main window updates it through the host.
// Owned by its host.

#include <QString>
#include <QWidget>
#include <cstdint>

class OutputLog;
class QAbstractButton;
class QLabel;
class QPushButton;

// "%06d" of the time in tenths of a second.
[[nodiscard]] QString CounterText(int64_t timeMs);

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
    void SetCounter(int64_t time);
    void SetMediaPosition(int position);
    void SetElapsedTime(const QString& text);
    void SetTotalTime(const QString& text);
    void SetMuteState(bool on) { muteShown_ = on; }
    void SetRepeatState(bool on) { repeatShown_ = on; }
    [[nodiscard]] int GetVolume() const { return volume_; }
    [[nodiscard]] QAbstractButton* GetMaximizeButton() const;

    [[nodiscard]] QString ElapsedText() const;
    [[nodiscard]] QString TotalText() const;
    [[nodiscard]] QString CounterLabelText() const;
    [[nodiscard]] int MediaPosition() const { return mediaPosition_; }
    [[nodiscard]] bool MuteShown() const { return muteShown_; }
    [[nodiscard]] bool RepeatShown() const { return repeatShown_; }

private:
    void OnMaximizeClicked();

    QWidget* mainWindow_;
    OutputLog& log_;
    QPushButton* maximizeButton_;
    QLabel* elapsed_;
    QLabel* total_;
    QLabel* counter_;
    int mediaPosition_ = 0;
    int volume_ = 50;
    bool muteShown_ = false;
    bool repeatShown_ = false;
};
