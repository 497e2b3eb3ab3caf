#pragma once

// The content of the top panel: the title of the current media, in white over the
// translucent band. Owned by its host.

#include <QString>
#include <QWidget>

class QLabel;

class CTopMainDlg final : public QWidget {
    Q_OBJECT

public:
    explicit CTopMainDlg(QWidget* host);

    void SetTitle(const QString& text);
    [[nodiscard]] QString Title() const;
    // Lays the title out over the host's current geometry.
    void FollowHost();

private:
    QLabel* title_;
};
