// The stream timing readers on any bytes: as a stream's first megabytes (transport stream,
// program stream, DVD nav packs, Matroska), as a file, and as a DVD image. Nothing may crash,
// read out of bounds or recurse without end, and a lead found is within 0 to 5 s.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "ScratchFile.h"
#include "player/StreamTiming.h"

namespace {

void Check(const char* reader, std::optional<int64_t> lead) {
    if (lead && (*lead < 0 || *lead > 5000)) {
        std::fprintf(stderr, "fuzz_stream_timing: %s read a lead of %lld ms\n", reader,
                     static_cast<long long>(*lead));
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile file("fuzz_stream_timing");
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Check("the transport stream reader", TransportStreamLeadMs(bytes));
    Check("the program stream reader", ProgramStreamLeadMs(bytes));
    Check("the nav pack reader", DvdNavLeadMs(bytes));
    Check("the Matroska reader", MatroskaLeadMs(bytes));
    const std::string& path = file.Write(data, size);
    Check("the file reader", FileClockScale(path).leadMs);
    const ClockScale dvd = DvdClockScale(path);
    Check("the DVD reader", dvd.leadMs);
    if (dvd.rate < 0.99 || dvd.rate > 1.01) std::abort();
    return 0;
}
