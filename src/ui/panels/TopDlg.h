#pragma once

// The top overlay host: a translucent band along the top of the main window's client area,
// 30 pixels high, hidden in full screen. Owned by the main window.

#include <QString>

#include "panels/PanelHost.h"

class CTopMainDlg;

class CTopDlg final : public PanelHost {
    Q_OBJECT

public:
    explicit CTopDlg(QWidget* mainWindow);

    // Places the band over the top of the main window's client area.
    void Reposition();
    // Shows `text` in the title bar.
    void SetTitle(const QString& text);
    [[nodiscard]] QString Title() const;

private:
    CTopMainDlg* titleBar_;
};
