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
    // Moves the host to `rect` (screen coordinates) and repaints it.
    void PlaceAt(const QRect& rect);
    // The content window, created by the concrete host.
    void SetContent(QWidget* content) { content_ = content; }
    [[nodiscard]] QWidget* MainWindow() const { return mainWindow_; }
    // The main window's client area below its menu bar, in screen coordinates.
    [[nodiscard]] QRect MainClientRect() const;

private:
    QWidget* mainWindow_;
    QWidget* content_ = nullptr;
};
