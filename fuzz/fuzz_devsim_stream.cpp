// The virtual dongle's two streams. The player's bytes, cut into random reads with random
// unplugs between them, must give the packets and stray bytes of a plain reading of each
// plug-in's bytes as a whole. The talk schedule, on whole milliseconds, must say each item
// when a closed-form count of its due times says so, in the order of those times.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "PacketStream.h"
#include "Talk.h"

namespace {

using devsim::kHeaderByte;
using devsim::Utterance;

[[noreturn]] void Fail(const char* what, long long detail) {
    std::fprintf(stderr, "fuzz_devsim_stream: %s (%lld)\n", what, detail);
    std::abort();
}

// What the dongle reports, in order: a packet as its three bytes, a stray byte as itself.
struct Event {
    bool packet;
    uint8_t bytes[3];
    bool operator==(const Event& other) const {
        return packet == other.packet && bytes[0] == other.bytes[0] &&
               (!packet || (bytes[1] == other.bytes[1] && bytes[2] == other.bytes[2]));
    }
};

// One plug-in's bytes read in one go: 01 01 and any byte make a packet; a byte that cannot
// begin or continue the header is stray, with a lone 01 before it; what an unplug cuts short
// is stray.
void ReadWhole(const std::vector<uint8_t>& bytes, std::vector<Event>& events) {
    const auto stray = [&](uint8_t b) { events.push_back({false, {b, 0, 0}}); };
    size_t i = 0;
    while (i < bytes.size()) {
        if (i + 2 < bytes.size() && bytes[i] == kHeaderByte && bytes[i + 1] == kHeaderByte) {
            events.push_back({true, {bytes[i], bytes[i + 1], bytes[i + 2]}});
            i += 3;
        } else if (bytes[i] == kHeaderByte && i + 1 < bytes.size() && bytes[i + 1] != kHeaderByte) {
            stray(bytes[i]);
            stray(bytes[i + 1]);
            i += 2;
        } else if (bytes[i] == kHeaderByte && bytes.size() - i <= 2) {
            for (; i < bytes.size(); ++i) stray(bytes[i]);
        } else {
            stray(bytes[i++]);
        }
    }
}

void CheckPacketStream(FuzzedDataProvider& input) {
    std::vector<Event> product;
    devsim::PacketStream stream(
        [&](const devsim::Packet& p) {
            if (p.bytes[0] != kHeaderByte || p.bytes[1] != kHeaderByte) Fail("bad header", 0);
            if (p.Direction() != p.bytes[2] >> 7 || p.Speed() != (p.bytes[2] & 0x7F)) {
                Fail("command byte misread", p.bytes[2]);
            }
            product.push_back({true, {p.bytes[0], p.bytes[1], p.bytes[2]}});
        },
        [&](uint8_t b) {
            product.push_back({false, {b, 0, 0}});
        });

    std::vector<Event> reference;
    std::vector<uint8_t> plugIn;
    size_t fed = 0;
    const int reads = input.ConsumeIntegralInRange<int>(0, 64);
    for (int r = 0; r < reads && input.remaining_bytes() > 0; ++r) {
        if (input.ConsumeIntegralInRange<int>(0, 15) == 0) {
            stream.Discard();
            ReadWhole(plugIn, reference);
            plugIn.clear();
            continue;
        }
        // Mostly packets and the header byte, so that the stream falls in and out of step.
        std::vector<uint8_t> chunk;
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, 16);
        for (size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
            const uint8_t b = input.ConsumeIntegral<uint8_t>();
            chunk.push_back(b < 0x60 ? kHeaderByte : b);
        }
        stream.Feed(chunk.data(), chunk.size());
        plugIn.insert(plugIn.end(), chunk.begin(), chunk.end());
        fed += chunk.size();
    }
    stream.Discard();
    ReadWhole(plugIn, reference);

    size_t reported = 0;
    for (const Event& e : product) reported += e.packet ? 3 : 1;
    if (reported != fed) Fail("bytes lost or made up", static_cast<long long>(reported));
    if (product.size() != reference.size()) {
        Fail("event count differs", static_cast<long long>(product.size()));
    }
    for (size_t i = 0; i < product.size(); ++i) {
        if (!(product[i] == reference[i])) Fail("event differs", static_cast<long long>(i));
    }
}

// Times and periods in whole milliseconds well below 2^53, so the sums are exact.
constexpr int64_t kMaxMs = int64_t{1} << 40;

void CheckTalkSchedule(FuzzedDataProvider& input) {
    std::vector<Utterance> once;
    std::vector<Utterance> every;
    const int onceCount = input.ConsumeIntegralInRange<int>(0, 6);
    for (int i = 0; i < onceCount; ++i) {
        const auto ms = input.ConsumeIntegralInRange<int64_t>(0, 2000);
        once.push_back({static_cast<double>(ms), {static_cast<uint8_t>(i)}});
    }
    const int everyCount = input.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < everyCount; ++i) {
        const auto ms = input.ConsumeIntegralInRange<int64_t>(1, 700);
        every.push_back({static_cast<double>(ms), {static_cast<uint8_t>(0x80 + i)}});
    }
    devsim::TalkSchedule schedule(once, every);

    std::optional<int64_t> start;
    int64_t now = input.ConsumeIntegralInRange<int64_t>(0, kMaxMs / 2);
    int64_t previous = 0;  // the last time asked since the start
    std::vector<bool> onceSaid(once.size());
    const int steps = input.ConsumeIntegralInRange<int>(0, 64);
    for (int step = 0; step < steps && input.remaining_bytes() > 0; ++step) {
        const int kind = input.ConsumeIntegralInRange<int>(0, 19);
        if (kind == 0 || (!start && kind < 4)) {
            schedule.Start(static_cast<double>(now));
            start = now;
            previous = now;
            onceSaid.assign(once.size(), false);
            continue;
        }
        if (kind == 1) {
            schedule.Stop();
            start.reset();
            continue;
        }
        now += input.ConsumeBool() ? input.ConsumeIntegralInRange<int64_t>(0, 3000)
                                   : input.ConsumeIntegralInRange<int64_t>(0, 1'000'000);
        if (now > kMaxMs) return;

        const std::optional<double> nextAt = schedule.NextAt();
        const auto said = schedule.TakeDue(static_cast<double>(now));
        if (!start) {
            if (nextAt || !said.empty()) Fail("talks while stopped", now);
            continue;
        }
        // Due (time, kind, index): the once items in the given order before the repeated
        // ones at the same time.
        std::vector<std::tuple<int64_t, int, size_t>> due;
        std::optional<int64_t> expectedNext;
        const auto next = [&](int64_t at) {
            if (!expectedNext || at < *expectedNext) expectedNext = at;
        };
        std::vector<size_t> order(once.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return once[a].ms < once[b].ms; });
        for (const size_t i : order) {
            const int64_t at = *start + static_cast<int64_t>(once[i].ms);
            if (onceSaid[i]) continue;
            next(at);
            if (at <= now) {
                due.emplace_back(at, 0, i);
                onceSaid[i] = true;
            }
        }
        // A repeated item is due at start + k * period; it is said once for all the k that
        // fell in (previous, now], at the first of them.
        for (size_t i = 0; i < every.size(); ++i) {
            const auto period = static_cast<int64_t>(every[i].ms);
            const int64_t firstAfterPrevious = *start + ((previous - *start) / period + 1) * period;
            next(firstAfterPrevious);
            if (firstAfterPrevious <= now) due.emplace_back(firstAfterPrevious, 1, i);
        }
        std::sort(due.begin(), due.end());
        if (!nextAt != !expectedNext || (nextAt && *nextAt != static_cast<double>(*expectedNext))) {
            Fail("next time differs", now);
        }
        if (said.size() != due.size()) Fail("said count differs", now);
        for (size_t k = 0; k < due.size(); ++k) {
            const auto& [at, kind, index] = due[k];
            const auto& bytes = kind == 0 ? once[index].bytes : every[index].bytes;
            if (said[k] != bytes) Fail("said out of order", at);
        }
        const std::optional<double> after = schedule.NextAt();
        if (after && *after <= static_cast<double>(now)) Fail("still due after taking", now);
        previous = now;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        CheckPacketStream(input);
    } else {
        CheckTalkSchedule(input);
    }
    return 0;
}
