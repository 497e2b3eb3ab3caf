#pragma once

// How far the picture's content moved sideways from one frame to the next, and where the shots
// cut, measured on the grey pictures VideoFrames gives. Dense optical flow (OpenCV's DIS) is
// taken at the points where the picture has an edge across its width (the only places where
// a sideways move shows), and the median of their sideways moves is the camera's: something
// that moves in front of a still camera moves only its own points, fewer than half of them. A
// frame whose picture the previous one, moved by that much, does not explain (far more than
// the frames before it), or whose brightness spread is another, starts a new shot.
// Owned by whoever analyses the video, on one thread.

#include <cstdint>
#include <memory>

#include "analysis/VideoFrames.h"
#include "authoring/TurnDraft.h"

class CameraTurn {
public:
    CameraTurn();
    ~CameraTurn();
    CameraTurn(const CameraTurn&) = delete;
    CameraTurn& operator=(const CameraTurn&) = delete;

    // The next frame of the video: its move against the frame before (none for the first).
    [[nodiscard]] FrameMotion Add(const VideoFrames::Frame& frame);

private:
    struct State;
    std::unique_ptr<State> state_;
};
