#include "analysis/Autoscript.h"

#include "analysis/CameraTurn.h"
#include "analysis/VideoFrames.h"

AutoscriptResult DraftPlayFile(const std::string& video, const DraftOptions& options,
                               const AutoscriptProgress& progress) {
    AutoscriptResult result;
    std::unique_ptr<VideoFrames> frames = VideoFrames::Open(video, kAnalysisWidth, &result.error);
    if (frames == nullptr) return result;
    const int64_t total = frames->DurationUs();
    CameraTurn turn;
    std::vector<FrameMotion> motions;
    VideoFrames::Frame frame;
    while (frames->Next(&frame)) {
        motions.push_back(turn.Add(frame));
        result.durationUs = frame.timeUs;
        if (progress && !progress(frame.timeUs, total)) {
            result.cancelled = true;
            return result;
        }
    }
    result.frames = static_cast<int64_t>(motions.size());
    if (!frames->Error().empty()) {
        result.error = video + ": " + frames->Error();
        return result;
    }
    if (motions.empty()) {
        result.error = video + ": no picture could be decoded";
        return result;
    }
    result.lines = TurnDraft(options).Lines(motions);
    return result;
}
