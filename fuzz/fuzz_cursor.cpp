// The synchronisation cursor against a plain line-by-line reference: the input decodes into a
// sorted play file and a walk of player times, and both cursors must agree on every step.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ScratchFile.h"
#include "support/LinearCursor.h"
#include "sync/PlayScript.h"

namespace {

constexpr size_t kMaxLines = 64;
constexpr int kMaxSteps = 256;
// A rare line far beyond any player time the walk reaches.
constexpr int64_t kFarTime = int64_t{1} << 62;

bool SameLine(const std::optional<CSV_LINE>& a, const std::optional<CSV_LINE>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (a->time == b->time && a->command == b->command);
}

void Compare(const PlayScript& product, const LinearCursor& reference,
             const std::optional<CSV_LINE>& fromProduct,
             const std::optional<CSV_LINE>& fromReference, int step, const char* action,
             int64_t t) {
    if (SameLine(fromProduct, fromReference) && product.Index() == reference.index &&
        product.Next().time == reference.next.time &&
        product.Next().command == reference.next.command &&
        product.CurrentTime() == reference.currentTime &&
        product.PreviousTime() == reference.previousTime) {
        return;
    }
    const auto show = [](const char* who, const std::optional<CSV_LINE>& due, int32_t index,
                         const CSV_LINE& next, int64_t current, int64_t previous) {
        std::fprintf(stderr,
                     "  %s: due %s%lld/%02x, index %d, next %lld/%02x, current %lld, "
                     "previous %lld\n",
                     who, due ? "" : "none ", due ? static_cast<long long>(due->time) : 0LL,
                     due ? due->command : 0, index, static_cast<long long>(next.time), next.command,
                     static_cast<long long>(current), static_cast<long long>(previous));
    };
    std::fprintf(stderr, "fuzz_cursor: step %d, %s(%lld) differs\n", step, action,
                 static_cast<long long>(t));
    show("product  ", fromProduct, product.Index(), product.Next(), product.CurrentTime(),
         product.PreviousTime());
    show("reference", fromReference, reference.index, reference.next, reference.currentTime,
         reference.previousTime);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile file("kestrune-fuzz-cursor");
    FuzzedDataProvider input(data, size);

    // The play file: non-decreasing times, with repeats, small steps and the odd far line.
    const size_t count = input.ConsumeIntegralInRange<size_t>(0, kMaxLines);
    std::string content;
    int64_t time = input.ConsumeIntegralInRange<int64_t>(0, 50);
    for (size_t i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        const uint8_t step = input.ConsumeIntegral<uint8_t>();
        if (step == 0xFF && time < kFarTime) {
            time = kFarTime;
        } else if (time < kFarTime) {
            time += step < 0x80 ? step % 8 : step % 64;
        }
        const uint8_t command = input.ConsumeIntegral<uint8_t>();
        content += std::to_string(time) + "," + std::to_string(command >> 7) + "," +
                   std::to_string((command & 0x7F) % 101) + "\n";
    }
    PlayScript product(nullptr);
    if (!product.Load(
            file.Write(reinterpret_cast<const uint8_t*>(content.data()), content.size()))) {
        std::abort();
    }

    LinearCursor reference;
    reference.lines = product.Lines();
    reference.LoadNext();
    Compare(product, reference, std::nullopt, std::nullopt, -1, "Load", 0);

    // The walk, in player milliseconds: mostly forward, sometimes a jump or a seek.
    const int64_t lastTime = time < kFarTime ? time : 0;
    const int64_t highest = (lastTime + 30) * 100;
    int64_t t = input.ConsumeBool() ? 0 : input.ConsumeIntegralInRange<int64_t>(-300, highest);
    for (int step = 0; step < kMaxSteps && input.remaining_bytes() > 0; ++step) {
        const uint8_t kind = input.ConsumeIntegralInRange<uint8_t>(0, 99);
        if (kind < 5) {
            t = input.ConsumeIntegralInRange<int64_t>(-300, highest);
            product.Seek(t);
            reference.Seek(t);
            Compare(product, reference, std::nullopt, std::nullopt, step, "Seek", t);
            continue;
        }
        if (kind < 85) {
            t += input.ConsumeIntegralInRange<int64_t>(0, 300);
        } else if (kind < 93) {
            t = input.ConsumeIntegralInRange<int64_t>(-300, highest);
        } else {
            t -= input.ConsumeIntegralInRange<int64_t>(1, 500);
        }
        const auto fromProduct = product.Advance(t);
        const auto fromReference = reference.Advance(t);
        Compare(product, reference, fromProduct, fromReference, step, "Advance", t);
    }
    return 0;
}
