#pragma once

// The control bar: the content of the bottom panel, stacked exactly over its host. Every
// user action becomes one signal (which the main window takes, queued, after the action's
// event) and one operation-log line; the bar never calls the main window. The main window
// updates it through the host. Two layouts:
// three rows in window mode (101 pixels) and one compact row in full screen (38 pixels).
// Owned by its host.
//
//   window mode, 101 pixels
//     y 7    elapsed [seek ..........] total
//     y 35           <<   >   ||   >>
//     y 70   dvd video csv device  000000  vol [..] rep []    on the black strip, y 63 to 101
//   full screen, 38 pixels, all on the black strip; the file buttons and device label hidden
//     y 7    elapsed [seek] total  <<  >  ||  >>  vol [..] rep 000000 []
//   The black strip spans the bar's width in both.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "sync/PlayScript.h"

class CAlphaButton;
class CBitmapSlider;
class CTransparentStatic;
class OutputLog;
class QAbstractButton;
class QLabel;

// One placement of one control in one row.
struct CTL_ITEM {
    QWidget* wnd = nullptr;  // not owned; an item without a control is skipped
    int spaceAfter = 0;
    int spaceBefore = 0;
};
using CtlRow = std::vector<std::unique_ptr<CTL_ITEM>>;

// "%06d" of the time in tenths of a second.
[[nodiscard]] QString CounterText(int64_t timeMs);

class CBottomMainDlg final : public QWidget {
    Q_OBJECT

public:
    enum ControlId : int {
        IDC_PLAY = 1002,
        IDC_PAUSE = 1004,
        IDC_OPEN_VIDEO = 1005,
        IDC_VOLUME = 1006,
        IDC_SEEK_SLIDER = 1007,
        IDC_VOLUME_SLIDER = 1008,
        IDC_ELAPSED = 1009,
        IDC_TOTAL = 1010,
        IDC_OPEN_DVD = 1012,
        IDC_REPEAT = 1016,
        IDC_MAXIMIZE = 1017,
        IDC_REWIND = 1018,
        IDC_FORWARD = 1019,
        IDC_DEVICE = 1020,
        IDC_COUNTER = 1021,
        IDC_OPEN_PLAYFILE = 1022,
        IDC_STRIP = 1031,
    };

    // `host` is the translucent window the bar lies over, and its parent.
    CBottomMainDlg(QWidget* host, OutputLog& log);
    ~CBottomMainDlg() override;

    // Lies exactly over the host and lays the controls out for its width.
    void FollowHost();
    // The host's layout mode, for the next arrangement and ApplyLayoutMode.
    void SetExpanded(bool expanded) { expanded_ = expanded; }
    // Applies the host's layout mode: see-through in window mode, opaque in full screen.
    void ApplyLayoutMode();
    // Lays the controls out for a bar `width` pixels wide in the host's layout mode; the black
    // strip spans the whole width.
    void ArrangeControls(int width);
    // Places a row's controls centred in `width`, every control's top at `top` + 5.
    static void ArrangeRow(int left, int top, int width, const CtlRow& items);

    void SetCounter(int64_t time);
    // The bar shows no device name: the label is always emptied.
    void SetDeviceName(const QString& name);
    void SetElapsedTime(const QString& text);
    void SetTotalTime(const QString& text);
    void SetMediaPosition(int position);
    // Shows the play file's intensity along a media of `lengthMs` in the seek slider's
    // channel, one column per pixel of the thumb's travel, worked out again whenever that
    // travel changes. No lines or no length clears it.
    void SetScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs);
    void ClearScriptHeat();
    [[nodiscard]] int GetVolume() const;
    // Moves the volume slider by `delta` (kept within 0 and 100) and tells it as a drag of the
    // slider does.
    void MoveVolumeBy(int delta);
    void SetMuteState(bool on);
    void SetRepeatState(bool on);
    [[nodiscard]] QAbstractButton* GetMaximizeButton() const;

    [[nodiscard]] QWidget* Control(int id) const;
    [[nodiscard]] QString ElapsedText() const;
    [[nodiscard]] QString TotalText() const;
    [[nodiscard]] QString CounterLabelText() const;
    [[nodiscard]] int MediaPosition() const;
    [[nodiscard]] bool MuteShown() const;
    [[nodiscard]] bool RepeatShown() const;

signals:
    // The user's commands, each after its log line.
    void PlayClicked();
    void PauseClicked();
    void OpenDvdClicked();
    void OpenVideoClicked();
    void OpenPlayFileClicked();
    void MuteClicked();
    void RepeatClicked();
    void FullScreenClicked();
    // Fast forward and rewind pressed (true) and let go (false).
    void ForwardHeld(bool held);
    void RewindHeld(bool held);
    // The volume slider moved (its position is GetVolume()); the seek slider moved to
    // `position`, 0 to 100.
    void VolumeMoved();
    void SeekMoved(int position);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    CAlphaButton* AddButton(int id, int strip, int toggleStrip = 0);
    // Makes every button take what lies beneath it again at its next paint.
    void ResetButtonBackgrounds();
    void OnCommand(int id);
    void OnButtonHeld(int id, bool held);
    void OnSliderMoving(int id);
    void ShowScriptHeat();

    bool expanded_ = true;  // the host's layout: three rows; one in full screen
    OutputLog& log_;

    CAlphaButton* play_;
    CAlphaButton* pause_;
    CAlphaButton* openVideo_;
    CAlphaButton* volume_;
    CAlphaButton* openDvd_;
    CAlphaButton* repeat_;
    CAlphaButton* maximize_;
    CAlphaButton* rewind_;
    CAlphaButton* forward_;
    CAlphaButton* openPlayFile_;
    CBitmapSlider* seekSlider_;
    CBitmapSlider* volumeSlider_;
    CTransparentStatic* elapsed_;
    CTransparentStatic* total_;
    QLabel* device_;
    QLabel* counter_;
    QLabel* strip_;

    // What the seek slider's heat is worked out from; a copy, as the script may be replaced.
    std::vector<CSV_LINE> heatLines_;
    int64_t heatLengthMs_ = 0;

    std::map<int, QWidget*> controls_;  // by control id
    CtlRow compactRow_;
    CtlRow rows_[3];
};
