#include "app/PictureDraft.h"

#include <QProgressDialog>
#include <QWidget>
#include <filesystem>

#include "analysis/Autoscript.h"
#include "authoring/PlayFileNames.h"
#include "log/OutputLog.h"
#include "platform/MessageBoxes.h"
#include "session/PlaybackSession.h"

namespace {

constexpr const char* kCaption = QT_TRANSLATE_NOOP("MessageBoxes", "プレイファイル作成");

}  // namespace

PictureDraft::PictureDraft(QWidget& window, PlaybackSession& session, OutputLog& log,
                           platform::MessageBoxes& boxes)
    : window_(window), session_(session), log_(log), boxes_(boxes) {}

PictureDraft::~PictureDraft() {
    cancelled_ = true;
    if (worker_.joinable()) worker_.join();
}

void PictureDraft::Start() {
    if (IsRunning()) return;
    const std::string video = session_.MediaFile();
    if (video.empty()) {
        boxes_.Show(QT_TRANSLATE_NOOP("MessageBoxes",
                                      "動画ファイルを開いてから、映像からプレイファイルを作成して"
                                      "下さい。DVDからは作成できません。"),
                    kCaption);
        return;
    }
    OUTPUT_LOG(log_, "映像からプレイファイル作成開始：" +
                         std::filesystem::path(video).filename().string());
    cancelled_ = false;
    dialog_ = new QProgressDialog(tr("映像からプレイファイルを作成しています..."), tr("キャンセル"),
                                  0, kProgressSteps, &window_);
    dialog_->setObjectName(QStringLiteral("draftProgress"));
    dialog_->setWindowTitle(tr("プレイファイル作成"));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    connect(dialog_, &QProgressDialog::canceled, this, [this] { cancelled_ = true; });
    dialog_->show();
    DraftOptions options;
    options.rightDirection = session_.Authoring().rightDirection;
    worker_ = std::thread([this, video, options] {
        const AutoscriptResult result =
            DraftPlayFile(video, options, [this](int64_t doneUs, int64_t totalUs) {
                QMetaObject::invokeMethod(
                    this, [this, doneUs, totalUs] { Progress(doneUs, totalUs); },
                    Qt::QueuedConnection);
                return !cancelled_;
            });
        std::string error = result.error;
        std::string path;
        if (error.empty() && !result.cancelled) path = SaveNewPlayFile(video, result.lines, &error);
        QMetaObject::invokeMethod(
            this,
            [this, path, error, cancelled = result.cancelled, lines = result.lines.size()] {
                Finish(path, error, cancelled, lines);
            },
            Qt::QueuedConnection);
    });
}

void PictureDraft::Progress(int64_t doneUs, int64_t totalUs) {
    if (dialog_ == nullptr || totalUs <= 0) return;
    dialog_->setValue(
        static_cast<int>(std::min<int64_t>(kProgressSteps, doneUs * kProgressSteps / totalUs)));
}

void PictureDraft::Finish(const std::string& path, const std::string& error, bool cancelled,
                          size_t lines) {
    if (worker_.joinable()) worker_.join();
    if (dialog_ != nullptr) dialog_->deleteLater();
    if (cancelled) {
        OUTPUT_LOG(log_, "映像からプレイファイル作成中止");
        return;
    }
    if (path.empty()) {
        OUTPUT_LOG(log_, "映像からプレイファイル作成失敗：" + error);
        boxes_.Show(
            QT_TRANSLATE_NOOP("MessageBoxes", "映像からプレイファイルを作成できませんでした。"),
            kCaption);
        return;
    }
    OUTPUT_LOG(log_, "プレイファイル作成：" + std::filesystem::path(path).filename().string() +
                         "（" + std::to_string(lines) + "行）");
    session_.OpenPlayFile(path);
}
