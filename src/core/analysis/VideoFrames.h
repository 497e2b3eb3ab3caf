#pragma once

// A video file's pictures for the analysis, decoded with FFmpeg: each frame in presentation
// order with its presentation time (from the stream's own time base, so exact at any frame
// rate and with a variable one), counted from the stream's start as the player counts it, and
// scaled down to a grey picture `width` pixels wide. Owned by whoever analyses the video, on
// one thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class VideoFrames {
public:
    struct Frame {
        int64_t timeUs = 0;
        int width = 0;
        int height = 0;
        std::vector<uint8_t> grey;  // width x height, rows packed
    };

    // Opens the video's best picture stream; null with `error` set when the file has none
    // that can be decoded.
    [[nodiscard]] static std::unique_ptr<VideoFrames> Open(const std::string& path, int width,
                                                           std::string* error);
    ~VideoFrames();
    VideoFrames(const VideoFrames&) = delete;
    VideoFrames& operator=(const VideoFrames&) = delete;

    // The next frame into `frame`; false at the end or when decoding failed (Error() is then
    // not empty).
    [[nodiscard]] bool Next(Frame* frame);
    // How long the video is, 0 when the file does not say.
    [[nodiscard]] int64_t DurationUs() const;
    [[nodiscard]] const std::string& Error() const { return error_; }
    // The size of the pictures Next gives.
    [[nodiscard]] int Width() const;
    [[nodiscard]] int Height() const;

private:
    struct Codec;
    explicit VideoFrames(std::unique_ptr<Codec> codec);
    // Takes the decoder's next frame into `frame`: true when there was one.
    [[nodiscard]] bool Receive(Frame* frame);

    std::unique_ptr<Codec> codec_;
    std::string error_;
    bool draining_ = false;
};
