// kestrune_turning_video: makes a video whose camera turns as a script says, and the truth
// of it, for the draft-from-the-picture tests and bench. The camera looks at a wide generated
// picture (its texture chosen by --texture and --seed) and turns over it; a cut changes to
// another picture; an object can cross in front of a still camera.
//
//   kestrune_turning_video OUT [--fps RATE] [--size WxH] [--fov DEG] [--texture KIND]
//                          [--seed N] --script "still 2; pan 30 3; cut; object 2; ..."
//
//   still S      the camera rests S seconds
//   pan D S      it turns D degrees a second (positive: to the right) for S seconds
//   cut          the next shot: another picture, the camera at rest
//   object S     at rest, while an object crosses the picture from left to right in S seconds
//
// RATE is frames a second, a number or a fraction (30000/1001). KIND: noise, cells, stripes,
// waves. Writes OUT (H.264 through ffmpeg) and OUT.truth.csv: a line a tenth of a second,
// "tenth,rate,cut" with the camera's rate (deg/s) at the tenth's middle and 1 where a cut
// falls in the tenth.

#include <cmath>
#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Segment {
    std::string kind;
    double rate = 0;     // deg/s
    double seconds = 0;  // 0 for a cut
};

std::vector<Segment> ParseScript(const std::string& script) {
    std::vector<Segment> segments;
    std::stringstream parts(script);
    for (std::string part; std::getline(parts, part, ';');) {
        std::istringstream words(part);
        Segment segment;
        if (!(words >> segment.kind)) continue;
        if (segment.kind == "pan") words >> segment.rate;
        if (segment.kind != "cut") words >> segment.seconds;
        if (segment.kind != "still" && segment.kind != "pan" && segment.kind != "cut" &&
            segment.kind != "object") {
            std::fprintf(stderr, "kestrune_turning_video: unknown step %s\n", segment.kind.c_str());
            std::exit(2);
        }
        segments.push_back(segment);
    }
    return segments;
}

// A grey picture of `size` in the texture `kind`.
cv::Mat Texture(const std::string& kind, cv::Size size, unsigned seed) {
    std::mt19937 random(seed);
    cv::Mat picture(size, CV_32F, cv::Scalar(0));
    if (kind == "noise") {
        // Noise at several scales, the coarse ones strongest, as natural pictures are.
        for (int scale = 64; scale >= 2; scale /= 2) {
            cv::Mat small(std::max(1, size.height / scale), std::max(1, size.width / scale),
                          CV_32F);
            cv::randn(small, 0, 1);
            cv::Mat large;
            cv::resize(small, large, size, 0, 0, cv::INTER_CUBIC);
            picture += large * (scale / 8.0 + 1.0);
        }
    } else if (kind == "cells") {
        std::uniform_int_distribution<int> x(0, size.width - 1), y(0, size.height - 1);
        std::uniform_int_distribution<int> side(8, std::max(9, size.height / 3));
        std::uniform_real_distribution<float> grey(0, 1);
        for (int i = 0; i < size.width * size.height / 600; ++i) {
            const cv::Rect cell(x(random), y(random), side(random), side(random));
            picture(cell & cv::Rect(cv::Point(), size)).setTo(grey(random));
        }
    } else if (kind == "stripes") {
        std::uniform_int_distribution<int> width(3, 40);
        std::uniform_real_distribution<float> grey(0, 1);
        for (int x = 0; x < size.width;) {
            const int w = width(random);
            picture(cv::Rect(x, 0, std::min(w, size.width - x), size.height)).setTo(grey(random));
            x += w;
        }
        cv::Mat noise(size, CV_32F);
        cv::randn(noise, 0, 0.08);
        picture += noise;
    } else if (kind == "waves") {
        std::uniform_real_distribution<double> frequency(0.005, 0.08), phase(0, 6.283);
        for (int wave = 0; wave < 6; ++wave) {
            const double fx = frequency(random), fy = frequency(random) / 3, p = phase(random);
            for (int y = 0; y < size.height; ++y) {
                auto* row = picture.ptr<float>(y);
                for (int x = 0; x < size.width; ++x) row[x] += std::sin(fx * x + fy * y + p);
            }
        }
    } else {
        std::fprintf(stderr, "kestrune_turning_video: unknown texture %s\n", kind.c_str());
        std::exit(2);
    }
    cv::Mat grey;
    cv::normalize(picture, picture, 20, 235, cv::NORM_MINMAX);
    picture.convertTo(grey, CV_8U);
    return grey;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string out, texture = "noise", script, fps = "25";
    int width = 640, height = 360;
    double fov = 60;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--fps" && more) {
            fps = argv[++i];
        } else if (a == "--size" && more) {
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        } else if (a == "--fov" && more) {
            fov = std::atof(argv[++i]);
        } else if (a == "--texture" && more) {
            texture = argv[++i];
        } else if (a == "--seed" && more) {
            seed = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (a == "--script" && more) {
            script = argv[++i];
        } else if (out.empty() && a[0] != '-') {
            out = a;
        } else {
            std::fprintf(stderr, "kestrune_turning_video: unexpected %s\n", a.c_str());
            return 2;
        }
    }
    if (out.empty() || script.empty() || width < 64 || height < 64) {
        std::fprintf(stderr, "usage: kestrune_turning_video OUT --script STEPS [options]\n");
        return 2;
    }
    const std::vector<Segment> segments = ParseScript(script);
    int num = 25, den = 1;
    if (std::sscanf(fps.c_str(), "%d/%d", &num, &den) < 1 || num <= 0 || den <= 0) return 2;
    const double frameRate = static_cast<double>(num) / den;

    // The yaw the camera reaches, each way, sets the pictures' width.
    double yaw = 0, low = 0, high = 0, seconds = 0;
    for (const Segment& s : segments) {
        yaw += s.rate * s.seconds;
        low = std::min(low, yaw);
        high = std::max(high, yaw);
        seconds += s.seconds;
    }
    const double pixelsPerDegree = width / fov;
    const int margin = width;
    const cv::Size panorama(static_cast<int>((high - low) * pixelsPerDegree) + 2 * margin + width,
                            height);
    std::vector<cv::Mat> shots{Texture(texture, panorama, seed)};
    const cv::Mat object = Texture(texture == "stripes" ? "cells" : "stripes",
                                   cv::Size(width / 4, height / 2), seed + 1000);

    const std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f rawvideo "
        "-pix_fmt gray -s " +
        std::to_string(width) + "x" + std::to_string(height) + " -r " + fps +
        " -i - -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p '" + out + "'";
    FILE* encoder = ::popen(command.c_str(), "w");
    if (encoder == nullptr) return 1;
    FILE* truth = std::fopen((out + ".truth.csv").c_str(), "w");
    if (truth == nullptr) return 1;

    // The camera's state at time t (seconds): yaw, rate, the shot and the object's place.
    struct State {
        double yaw = 0, rate = 0, object = -1;
        size_t shot = 0;
    };
    auto at = [&](double t) {
        State state;
        double start = 0;
        for (const Segment& s : segments) {
            if (s.kind == "cut") {
                if (t >= start) ++state.shot;
                continue;
            }
            const double in = std::min(std::max(t - start, 0.0), s.seconds);
            state.yaw += s.rate * in;
            if (t >= start && t < start + s.seconds) {
                state.rate = s.rate;
                if (s.kind == "object") state.object = in / s.seconds;
            }
            start += s.seconds;
        }
        return state;
    };
    // Where the cuts fall, in tenths.
    std::vector<bool> cutTenths(static_cast<size_t>(seconds * 10) + 2, false);
    double start = 0;
    for (const Segment& s : segments) {
        if (s.kind == "cut") cutTenths[static_cast<size_t>(start * 10 + 1e-9)] = true;
        start += s.seconds;
    }
    for (size_t tenth = 0; tenth < static_cast<size_t>(seconds * 10 + 1e-9); ++tenth) {
        std::fprintf(truth, "%zu,%.3f,%d\n", tenth, at((tenth + 0.5) / 10).rate,
                     cutTenths[tenth] ? 1 : 0);
    }
    std::fclose(truth);

    const auto frames = static_cast<long>(std::floor(seconds * frameRate + 1e-9));
    cv::Mat frame;
    for (long i = 0; i < frames; ++i) {
        const State state = at(i / frameRate);
        while (shots.size() <= state.shot) {
            shots.push_back(Texture(texture, panorama, seed + static_cast<unsigned>(shots.size())));
        }
        const double x = margin + (state.yaw - low) * pixelsPerDegree + width / 2.0;
        cv::getRectSubPix(shots[state.shot], cv::Size(width, height),
                          cv::Point2f(static_cast<float>(x), height / 2.0f), frame);
        if (state.object >= 0) {
            const int left = static_cast<int>(-object.cols + state.object * (width + object.cols));
            const cv::Rect place = cv::Rect(left, height / 4, object.cols, object.rows) &
                                   cv::Rect(0, 0, width, height);
            if (place.area() > 0) {
                object(cv::Rect(place.x - left, 0, place.width, place.height)).copyTo(frame(place));
            }
        }
        if (std::fwrite(frame.data, 1, frame.total(), encoder) != frame.total()) break;
    }
    return ::pclose(encoder) == 0 ? 0 : 1;
}
