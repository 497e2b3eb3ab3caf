#include "analysis/CameraTurn.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>
#include <vector>

namespace {

// Points every this many pixels, this far inside the picture's edges, are measured.
constexpr int kStep = 4;
constexpr int kMargin = 8;
// An edge across the width: a sideways brightness step of at least this (Sobel, 3x3).
constexpr int kEdge = 40;
// Fewer edge points than this share of the measured ones: a plain picture, no move seen.
constexpr double kMinEdgeShare = 0.01;
// A cut: the brightness spreads of two frames correlate less than this...
constexpr double kCutHistogramCorrelation = 0.5;
// ...or the frame differs from the one before, moved, by more than this mean (grey levels)
// and this many times what the recent frames differed.
constexpr double kCutDifference = 12.0;
constexpr double kCutDifferenceRatio = 3.0;
constexpr size_t kRecentFrames = 12;

cv::Mat Histogram(const cv::Mat& grey) {
    const int channels[] = {0};
    const int bins[] = {32};
    const float range[] = {0, 256};
    const float* ranges[] = {range};
    cv::Mat histogram;
    cv::calcHist(&grey, 1, channels, cv::Mat(), histogram, 1, bins, ranges);
    return histogram;
}

// The mean difference between `now` and `before` moved `shift` pixels sideways, over the part
// both show.
double MovedDifference(const cv::Mat& before, const cv::Mat& now, double shift) {
    const int move = static_cast<int>(std::lround(shift));
    const int width = now.cols - std::abs(move) - 2 * kMargin;
    if (width <= 0) return 0;
    const int nowX = kMargin + std::max(move, 0);
    const int beforeX = kMargin + std::max(-move, 0);
    const cv::Rect rows(0, kMargin, width, now.rows - 2 * kMargin);
    cv::Mat difference;
    cv::absdiff(now(rows + cv::Point(nowX, 0)), before(rows + cv::Point(beforeX, 0)), difference);
    return cv::mean(difference)[0];
}

}  // namespace

struct CameraTurn::State {
    cv::Ptr<cv::DISOpticalFlow> flow = cv::DISOpticalFlow::create(cv::DISOpticalFlow::PRESET_FAST);
    cv::Mat previous;
    cv::Mat previousHistogram;
    cv::Mat flowField;
    cv::Mat edges;
    std::vector<float> moves;
    std::deque<double> recentDifferences;
};

CameraTurn::CameraTurn() : state_(std::make_unique<State>()) {}

CameraTurn::~CameraTurn() = default;

FrameMotion CameraTurn::Add(const VideoFrames::Frame& frame) {
    State& s = *state_;
    FrameMotion motion{frame.timeUs, 0.0, frame.width, false};
    const cv::Mat now =
        cv::Mat(frame.height, frame.width, CV_8UC1, const_cast<uint8_t*>(frame.grey.data()))
            .clone();
    const cv::Mat histogram = Histogram(now);
    if (s.previous.empty() || s.previous.size() != now.size()) {
        s.previous = now;
        s.previousHistogram = histogram;
        return motion;
    }

    s.flow->calc(s.previous, now, s.flowField);
    cv::Sobel(s.previous, s.edges, CV_16S, 1, 0, 3);
    s.moves.clear();
    int measured = 0;
    for (int y = kMargin; y < now.rows - kMargin; y += kStep) {
        const auto* edge = s.edges.ptr<int16_t>(y);
        const auto* move = s.flowField.ptr<cv::Point2f>(y);
        for (int x = kMargin; x < now.cols - kMargin; x += kStep) {
            ++measured;
            if (std::abs(edge[x]) >= kEdge) s.moves.push_back(move[x].x);
        }
    }
    if (static_cast<double>(s.moves.size()) >= kMinEdgeShare * measured && !s.moves.empty()) {
        const auto middle = s.moves.begin() + static_cast<std::ptrdiff_t>(s.moves.size() / 2);
        std::nth_element(s.moves.begin(), middle, s.moves.end());
        motion.shiftPx = *middle;
    }

    const double difference = MovedDifference(s.previous, now, motion.shiftPx);
    std::vector<double> recent(s.recentDifferences.begin(), s.recentDifferences.end());
    double usual = 0;
    if (!recent.empty()) {
        std::nth_element(recent.begin(),
                         recent.begin() + static_cast<std::ptrdiff_t>(recent.size() / 2),
                         recent.end());
        usual = recent[recent.size() / 2];
    }
    const double correlation = cv::compareHist(s.previousHistogram, histogram, cv::HISTCMP_CORREL);
    motion.cut = correlation < kCutHistogramCorrelation ||
                 (difference > kCutDifference && difference > kCutDifferenceRatio * usual);
    if (motion.cut) {
        motion.shiftPx = 0;
        s.recentDifferences.clear();
    } else {
        s.recentDifferences.push_back(difference);
        if (s.recentDifferences.size() > kRecentFrames) s.recentDifferences.pop_front();
    }
    s.previous = now;
    s.previousHistogram = histogram;
    return motion;
}
