#pragma once

// The menu's draft of a play file from the open video's picture: the analysis (DraftPlayFile)
// runs on a thread of its own behind a progress dialog that can be cancelled; the draft is
// saved beside the video under a free name (never over a file) and loaded as the play file, so
// that its heat shows at once. Owned by the main window; when it goes, an analysis under way
// is cancelled and waited for.

#include <QObject>
#include <QPointer>
#include <atomic>
#include <string>
#include <thread>

class OutputLog;
class PlaybackSession;
class QProgressDialog;
class QWidget;

namespace platform {
class MessageBoxes;
}

class PictureDraft final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kOutputLogSource = "PictureDraft.cpp";
    static constexpr int kProgressSteps = 1000;

    PictureDraft(QWidget& window, PlaybackSession& session, OutputLog& log,
                 platform::MessageBoxes& boxes);
    ~PictureDraft() override;

    // Drafts a play file for the video open now; a box says why when there is none.
    void Start();
    [[nodiscard]] bool IsRunning() const { return worker_.joinable(); }

private:
    // On the user-interface thread, once the analysis has ended: `path` is the saved draft,
    // empty when there is none (`error` says why, or it was cancelled).
    void Finish(const std::string& path, const std::string& error, bool cancelled, size_t lines);
    void Progress(int64_t doneUs, int64_t totalUs);

    QWidget& window_;
    PlaybackSession& session_;
    OutputLog& log_;
    platform::MessageBoxes& boxes_;
    QPointer<QProgressDialog> dialog_;
    std::thread worker_;
    std::atomic<bool> cancelled_ = false;
};
