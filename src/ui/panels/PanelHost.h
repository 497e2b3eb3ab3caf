#pragma once

// What the two overlay hosts share: a frameless, uniformly translucent black window owned by
// the main window (alpha 160 of 255), carrying a content window stacked exactly above it whose
// background is left unpainted so that only its controls show. Both follow the main window.

#include <QWidget>

class PanelHost : public QWidget {
    Q_OBJECT

public:
    static constexpr double kOpacity = 160.0 / 255.0;

    explicit PanelHost(QWidget* mainWindow);

    // Shows the host, then the content window, above the main window.
    void ShowPanels();
    void HidePanels();

protected:
    // Moves the host to `rect` (screen coordinates) and repaints it. The host and its content
    // keep that place against the window manager's late confirmations (see KeepPlacement).
    void PlaceAt(const QRect& rect);
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    // The content window, created by the concrete host.
    void SetContent(QWidget* content);
    [[nodiscard]] QWidget* MainWindow() const { return mainWindow_; }
    // The main window's client area below its menu bar, in screen coordinates.
    [[nodiscard]] QRect MainClientRect() const;

private:
    // Corrections allowed per placement: a window manager that insists on its own geometry
    // keeps it after these.
    static constexpr int kMaxCorrections = 6;

    void KeepPlacement(QWidget* window);

    QWidget* mainWindow_;
    QWidget* content_ = nullptr;
    QRect placement_;      // where PlaceAt last put the host and its content
    int corrections_ = 0;  // made since that placement
};
