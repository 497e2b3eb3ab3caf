// Cost of one operation-log line (format, code page conversion, one write to the file) and
// of the conversion alone. Run: build/output_log_bench

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "log/OutputLog.h"
#include "platform/TextCodec.h"

namespace {

class SilentBoxes final : public platform::MessageBoxes {
public:
    void Show(const std::string&, const std::string&) override {}
    void Post(const std::string&, const std::string&) override {}
};

void BM_LogLine(benchmark::State& state) {
    char folder[] = "/tmp/kestrune-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    ::setenv("XDG_DATA_HOME", folder, 1);
    SilentBoxes boxes;
    {
        OutputLog log(boxes, platform::SystemClock());
        for (auto _ : state) OUTPUT_LOG(log, "USBドングルへ再生コマンド送信");
        state.SetItemsProcessed(state.iterations());
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LogLine);

void BM_Cp932Conversion(benchmark::State& state) {
    const std::string line =
        "DEBUG,2026/12/07,07:30:00.123,KestruneDlg.cpp,321,USBドングルへ停止コマンド送信\r\n";
    for (auto _ : state) benchmark::DoNotOptimize(platform::Utf8ToCp932(line));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_Cp932Conversion);

}  // namespace

BENCHMARK_MAIN();
