#pragma once

// The content of the top panel: the title of the current media, one line of white text at
// full opacity over the translucent band of its host. Takes no input. Owned by its host.

#include <QString>
#include <QWidget>

class CTransparentStatic;

class CTopMainDlg final : public QWidget {
    Q_OBJECT

public:
    explicit CTopMainDlg(QWidget* host);

    void SetTitle(const QString& text);
    [[nodiscard]] QString Title() const;
    [[nodiscard]] CTransparentStatic* TitleLabel() const { return titleLabel_; }
    // Lies exactly over the host; the label keeps its place and size.
    void FollowHost();

private:
    CTransparentStatic* titleLabel_;
};
