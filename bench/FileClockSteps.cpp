// How smoothly the playback clock advances while a file plays: samples libvlc's own time and
// the adjusted time every 40 ms (the synchronisation period) and prints the distribution of
// the steps between samples.
// Run: build/file_clock_steps [VIDEO] (default build/demo/demo.mp4); needs an X display.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/X11Threads.h"
#include "player/AdjustedPlayer.h"

namespace {

using namespace std::chrono_literals;

void Report(const char* name, const std::vector<int64_t>& samples) {
    std::vector<int64_t> steps;
    int backwards = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        steps.push_back(samples[i] - samples[i - 1]);
        backwards += steps.back() < 0;
    }
    std::vector<int64_t> moving;
    std::copy_if(steps.begin(), steps.end(), std::back_inserter(moving),
                 [](int64_t s) { return s != 0; });
    std::sort(steps.begin(), steps.end());
    std::sort(moving.begin(), moving.end());
    const auto pct = [](const std::vector<int64_t>& v, double p) {
        return v.empty() ? 0 : v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
    };
    std::printf(
        "%-9s samples %zu  unchanged %zu  backwards %d  step ms: median %lld  p90 %lld  max %lld"
        "  (moving steps: median %lld  max %lld)\n",
        name, samples.size(), steps.size() - moving.size(), backwards,
        static_cast<long long>(pct(steps, 0.5)), static_cast<long long>(pct(steps, 0.9)),
        static_cast<long long>(pct(steps, 1.0)), static_cast<long long>(pct(moving, 0.5)),
        static_cast<long long>(pct(moving, 1.0)));
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::InitX11Threads();
    const std::string video = argc > 1 ? argv[1] : "build/demo/demo.mp4";
    AdjustedPlayer player;
    if (!player.IsAvailable()) {
        std::fprintf(stderr, "libvlc could not start\n");
        return 1;
    }
    player.OpenFile(video, AdjusterKind::kFile);
    player.Play();
    const auto start = std::chrono::steady_clock::now();
    while (player.GetState() != PlayerState::kPlaying) {
        if (std::chrono::steady_clock::now() - start > 10s) {
            std::fprintf(stderr, "%s did not start playing\n", video.c_str());
            return 1;
        }
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(1s);

    std::vector<int64_t> reported;
    std::vector<int64_t> adjusted;
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < 250; ++i) {  // 10 s
        adjusted.push_back(player.GetTime());
        reported.push_back(player.GetReportedTime());
        next += 40ms;
        std::this_thread::sleep_until(next);
    }
    player.Stop();
    std::printf("%s, sampled every 40 ms for 10 s\n", video.c_str());
    Report("libvlc", reported);
    Report("adjusted", adjusted);
    return 0;
}
