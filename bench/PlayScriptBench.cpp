// Cost of the play-file cursor and loader on a script of a million lines 0.2 s apart: Seek
// (binary search) beside a line-by-line scan, Advance at the 40 ms tick, and Load beside a
// plain read of the same file. Run: build/play_script_bench

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"
#include "sync/PlayScript.h"

namespace {

constexpr int64_t kLines = 1'000'000;
constexpr int64_t kLastMs = (kLines - 1) * 2 * 100;

// The benchmark file in a temporary folder, written once, removed at exit.
class ScriptFile {
public:
    ScriptFile() {
        char folder[] = "/tmp/kestrune-bench-XXXXXX";
        if (::mkdtemp(folder) == nullptr) return;
        folder_ = folder;
        path_ = folder_ + "/script.csv";
        std::string content;
        for (int64_t i = 0; i < kLines; ++i) {
            content += std::to_string(i * 2) + "," + std::to_string(i % 2) + "," +
                       std::to_string(i % 101) + "\n";
        }
        FILE* file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr) return;
        const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
        if (std::fclose(file) == 0 && written) size_ = static_cast<int64_t>(content.size());
    }
    ~ScriptFile() {
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;

    [[nodiscard]] bool Valid() const { return size_ > 0; }
    [[nodiscard]] const std::string& Path() const { return path_; }
    [[nodiscard]] int64_t Size() const { return size_; }

private:
    std::string folder_;
    std::string path_;
    int64_t size_ = 0;
};

const ScriptFile& File() {
    static const ScriptFile file;
    return file;
}

// The loaded script, shared by the cursor benchmarks.
PlayScript& Script() {
    static PlayScript script = [] {
        PlayScript loaded(nullptr);
        if (File().Valid()) (void)loaded.Load(File().Path());
        return loaded;
    }();
    return script;
}

// Random player times over the whole script, the same for both Seek variants.
const std::vector<int64_t>& SeekTimes() {
    static const std::vector<int64_t> times = [] {
        std::mt19937_64 random(42);
        std::uniform_int_distribution<int64_t> any(0, kLastMs + 1000);
        std::vector<int64_t> result(4096);
        for (int64_t& t : result) t = any(random);
        return result;
    }();
    return times;
}

// Line-by-line Seek over the same lines, for comparison.
struct LinearSeek {
    const std::vector<CSV_LINE>& lines;
    CSV_LINE next{-1, 0};
    size_t index = 0;

    void Seek(int64_t t) {
        const int64_t cur = t / 100;
        for (index = 0; index < lines.size(); ++index) {
            next = lines[index];
            if (cur == next.time) return;
            if (cur < next.time) {
                if (index != 0 && next.time - cur > 2) next = lines[--index];
                return;
            }
        }
        next.time = -1;
    }
};

bool Ready(benchmark::State& state) {
    if (Script().Lines().size() == static_cast<size_t>(kLines)) return true;
    state.SkipWithError("could not write or load the benchmark script");
    return false;
}

void BM_SeekBinary(benchmark::State& state) {
    if (!Ready(state)) return;
    PlayScript& script = Script();
    const std::vector<int64_t>& times = SeekTimes();
    size_t i = 0;
    for (auto _ : state) {
        script.Seek(times[i++ % times.size()]);
        benchmark::DoNotOptimize(script.Next());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SeekBinary);

void BM_SeekLinear(benchmark::State& state) {
    if (!Ready(state)) return;
    LinearSeek linear{Script().Lines()};
    const std::vector<int64_t>& times = SeekTimes();
    size_t i = 0;
    for (auto _ : state) {
        linear.Seek(times[i++ % times.size()]);
        benchmark::DoNotOptimize(linear.next);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SeekLinear)->Unit(benchmark::kMicrosecond);

// One 40 ms tick per iteration, playing the script from the start and over again.
void BM_Advance(benchmark::State& state) {
    if (!Ready(state)) return;
    PlayScript& script = Script();
    script.Seek(0);
    int64_t t = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(script.Advance(t));
        t = t >= kLastMs ? 0 : t + 40;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Advance);

void BM_Load(benchmark::State& state) {
    if (!File().Valid()) {
        state.SkipWithError("could not write the benchmark script");
        return;
    }
    for (auto _ : state) {
        PlayScript script(nullptr);
        benchmark::DoNotOptimize(script.Load(File().Path()));
    }
    state.SetBytesProcessed(state.iterations() * File().Size());
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

// The floor for Load: the whole file read into memory, nothing parsed.
void BM_PlainRead(benchmark::State& state) {
    if (!File().Valid()) {
        state.SkipWithError("could not write the benchmark script");
        return;
    }
    std::string buffer;
    for (auto _ : state) {
        platform::UniqueFd file(::open(File().Path().c_str(), O_RDONLY | O_CLOEXEC));
        struct stat info {};
        if (!file.Valid() || ::fstat(file.Get(), &info) != 0) {
            state.SkipWithError("could not open the benchmark script");
            return;
        }
        buffer.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t got = ::read(file.Get(), buffer.data() + done, buffer.size() - done);
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * File().Size());
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
