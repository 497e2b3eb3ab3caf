// Which frame of the media is on the screen, read off the screen itself: the picture-sync
// media carry their frame number in a strip across the middle of every frame, a row of 26
// blocks (a red block, the number's 24 bits from the most significant, white for 1 and black
// for 0, a red block) with the same row of the number's complement below it. The probe grabs
// the window's area of the screen as the user sees it (from the root window, composited)
// every few milliseconds, finds the two rows, and prints a line each time the number changes:
//
//   MONOTONIC_MS FRAME
//
// (MONOTONIC_MS: milliseconds of CLOCK_MONOTONIC when the grab that first saw the frame
// started.) A grab whose two rows do not agree (a frame drawn half over the last one) is not
// counted. At the end it prints to standard error how many grabs it took and how many it read.
//
//   kestrune_picture_probe WINDOW SECONDS      (WINDOW: an X window id, decimal or 0x hex)

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr int kBlocks = 26;
constexpr int kBits = 24;
constexpr uint32_t kMask = (1u << kBits) - 1;

double MonotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Rgb {
    int r, g, b;
};

Rgb PixelAt(XImage* image, int x, int y) {
    const unsigned long p = XGetPixel(image, x, y);
    return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff),
            static_cast<int>(p & 0xff)};
}

bool IsRed(const Rgb& c) { return c.r > 150 && c.g < 90 && c.b < 90; }

// A row's number: the red blocks at both ends give the strip's extent, the 24 blocks between
// them the bits, read at their centres. Nothing when the row holds no strip.
std::optional<uint32_t> DecodeRow(XImage* image, int y) {
    const int width = image->width;
    int left = 0;
    while (left < width && !IsRed(PixelAt(image, left, y))) ++left;
    int right = width - 1;
    while (right > left && !IsRed(PixelAt(image, right, y))) --right;
    const double block = static_cast<double>(right - left + 1) / kBlocks;
    if (right <= left || block < 2.0) return std::nullopt;
    // Both end blocks must be red all through, or this is not the strip.
    for (const double at : {0.5, kBlocks - 0.5}) {
        if (!IsRed(PixelAt(image, left + static_cast<int>(at * block), y))) return std::nullopt;
    }
    uint32_t value = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const Rgb c = PixelAt(image, left + static_cast<int>((bit + 1.5) * block), y);
        const int luma = (c.r * 299 + c.g * 587 + c.b * 114) / 1000;
        if (luma > 170) {
            value = (value << 1) | 1u;
        } else if (luma < 85) {
            value <<= 1;
        } else {
            return std::nullopt;  // neither black nor white: between two frames
        }
    }
    return value;
}

// The last row from `y` down that reads `value`.
int LastRowOf(XImage* image, int y, uint32_t value) {
    while (y + 1 < image->height && DecodeRow(image, y + 1) == value) ++y;
    return y;
}

// The frame number in `image`: the first row whose number has its complement in a row below.
// Sets the two rows' places.
std::optional<uint32_t> Search(XImage* image, int& numberRow, int& complementRow) {
    for (int y = 0; y < image->height; y += 2) {
        const auto number = DecodeRow(image, y);
        if (!number) continue;
        for (int below = y + 2; below < image->height; below += 2) {
            const auto complement = DecodeRow(image, below);
            if (complement && *complement == (~*number & kMask)) {
                // The middle of each band, away from the rows the scaling blends.
                numberRow = (y + LastRowOf(image, y, *number)) / 2;
                complementRow = (below + LastRowOf(image, below, *complement)) / 2;
                return number;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: kestrune_picture_probe WINDOW SECONDS\n", stderr);
        return 2;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const double seconds = std::atof(argv[2]);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || window == 0 || seconds <= 0) {
        std::fputs("kestrune_picture_probe: no display or no window\n", stderr);
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    const double end = MonotonicMs() + seconds * 1000.0;
    int numberRow = -1;
    int complementRow = -1;
    std::optional<uint32_t> last;
    long grabs = 0;
    long read = 0;
    int misses = 0;
    while (MonotonicMs() < end) {
        XWindowAttributes attributes{};
        Window child = 0;
        int x = 0;
        int y = 0;
        if (XGetWindowAttributes(display, window, &attributes) == 0 ||
            XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child) == 0) {
            std::fputs("kestrune_picture_probe: the window is gone\n", stderr);
            return 1;
        }
        // Once the rows are known, only the band between them is grabbed.
        const bool known = numberRow >= 0;
        const int top = known ? numberRow : 0;
        const int height = known ? complementRow - numberRow + 1 : attributes.height;
        const double at = MonotonicMs();
        XImage* image =
            XGetImage(display, root, x, y + top, static_cast<unsigned>(attributes.width),
                      static_cast<unsigned>(height), AllPlanes, ZPixmap);
        ++grabs;
        if (image == nullptr) continue;
        std::optional<uint32_t> frame;
        if (known) {
            const auto number = DecodeRow(image, 0);
            const auto complement = DecodeRow(image, height - 1);
            if (number && complement && *complement == (~*number & kMask)) frame = number;
        } else {
            frame = Search(image, numberRow, complementRow);
        }
        XDestroyImage(image);
        if (frame) {
            ++read;
            if (frame != last) std::printf("%.1f %u\n", at, *frame);
            last = frame;
        } else if (known && ++misses > 20) {
            numberRow = complementRow = -1;  // the window moved or changed size: look again
            misses = 0;
        }
        if (frame) misses = 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::fflush(stdout);
    std::fprintf(stderr, "kestrune_picture_probe: %ld grabs in %.0f s, %ld read\n", grabs, seconds,
                 read);
    XCloseDisplay(display);
    return 0;
}
