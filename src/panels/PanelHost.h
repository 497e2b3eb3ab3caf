#pragma once

// What the two overlay hosts share: a frameless, uniformly translucent black window owned
// by the main window, carrying a content window stacked exactly above it whose background
// is left unpainted so that only its controls show.

#include <QWidget>

class PanelHost : public QWidget {
    Q_OBJECT

public:
    static constexpr double kOpacity = 160.0 / 255.0;

    explicit PanelHost(QWidget* mainWindow);

    // Shows the host, then the content window; raised above the main window.
    void ShowPanels();
    void HidePanels();

protected:
    // Moves the host to `rect` (screen coordinates) and lets the content follow.
    void PlaceAt(const QRect& rect);
    // The content window, created by the concrete host; may be null.
    void SetContent(QWidget* content) { content_ = content; }
    [[nodiscard]] QWidget* MainWindow() const { return mainWindow_; }
    // The main window's client area in screen coordinates.
    [[nodiscard]] QRect MainClientRect() const;

private:
    QWidget* mainWindow_;
    QWidget* content_ = nullptr;
};
