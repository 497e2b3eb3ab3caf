#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "player/StreamTiming.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kTiming = std::string(KESTRUNE_TEST_MEDIA) + "/timing";
const std::string kPalDvd = std::string(KESTRUNE_TEST_MEDIA) + "/dvd";

// ---------------------------------------------------------------------------------------------
// Streams as muxers write them (scripts/make-timing-fixtures)

TEST(StreamTiming, ATransportStreamLeadsByTheMuxersDelay) {
    // Without B-frames the first picture's time is the first clock reference plus the delay.
    EXPECT_EQ(FileClockScale(kTiming + "/delay-0.7.ts").leadMs, 700);
    EXPECT_EQ(FileClockScale(kTiming + "/delay-1.4.ts").leadMs, 1400);
    EXPECT_EQ(FileClockScale(kTiming + "/delay-0.7.m2ts").leadMs, 700);
    EXPECT_EQ(FileClockScale(kTiming + "/delay-0.7.ts").rate, 1.0);
}

TEST(StreamTiming, AProgramStreamLeadsByItsDecoderBuffer) {
    // MPEG-2 in DVD packs and MPEG-1: each a few hundred ms, as the buffer holds.
    for (const char* file : {"/dvd.mpg", "/mpeg1.mpg"}) {
        const int64_t lead = FileClockScale(kTiming + file).leadMs;
        EXPECT_GE(lead, 200) << file;
        EXPECT_LE(lead, 1000) << file;
    }
}

TEST(StreamTiming, MatroskaLeadsWhereTheSoundStartsFirst) {
    // AAC's first 1024 samples at 48 kHz are priming: the picture starts 21 ms after them.
    EXPECT_EQ(FileClockScale(kTiming + "/sound-first.mkv").leadMs, 21);
    EXPECT_EQ(FileClockScale(kTiming + "/picture-only.mkv").leadMs, 0);
}

TEST(StreamTiming, FilesThatTellNothingAreTakenAsReported) {
    const std::string media = KESTRUNE_TEST_MEDIA;
    for (const std::string& path :
         {media + "/clip.mp4", media + "/raw.h264", media + "/not-a-video.mp4",
          media + "/no such file.ts", kPalDvd + "/VIDEO_TS/VIDEO_TS.IFO"}) {
        const ClockScale scale = FileClockScale(path);
        EXPECT_EQ(scale.rate, 1.0) << path;
        EXPECT_EQ(scale.leadMs, 0) << path;
    }
}

// The same disc however it is named: the folder, VIDEO_TS itself, a dvd:// location with a
// title and escapes, an image of it.
TEST(StreamTiming, ADvdReadsTheSameFromItsFolderItsLocationAndItsImage) {
    const ClockScale folder = DvdClockScale(kPalDvd);
    EXPECT_EQ(folder.rate, 1.0);  // PAL: its time counts 25 frames a second exactly
    EXPECT_GE(folder.leadMs, 200);
    EXPECT_LE(folder.leadMs, 1000);

    const testing_support::TempDir temp;
    const std::string odd = temp.Path() + "/a disc #1 100%";
    fs::create_directories(odd);
    fs::copy(kPalDvd + "/VIDEO_TS", odd + "/VIDEO_TS");
    for (const std::string& name : {kPalDvd + "/VIDEO_TS", "dvd://" + kPalDvd + "#1:2",
                                    "dvd://" + temp.Path() + "/a%20disc%20%231%20100%25",
                                    kTiming + "/dvd.iso", "dvd://" + kTiming + "/dvd.iso"}) {
        const ClockScale scale = DvdClockScale(name);
        EXPECT_EQ(scale.rate, folder.rate) << name;
        EXPECT_EQ(scale.leadMs, folder.leadMs) << name;
    }
}

TEST(StreamTiming, AnNtscDvdRunsSlowByAThousandth) {
    const ClockScale scale = DvdClockScale(kTiming + "/ntsc-dvd");
    EXPECT_DOUBLE_EQ(scale.rate, 1.001);
    EXPECT_GE(scale.leadMs, 200);
}

TEST(StreamTiming, ADiscThatCannotBeReadKeepsTheOldRate) {
    for (const std::string& name :
         {std::string("dvd:///nonexistent"), std::string("dvd://"), kTiming + "/dvd.mpg",
          std::string(KESTRUNE_TEST_MEDIA) + "/clip.mp4"}) {
        const ClockScale scale = DvdClockScale(name);
        EXPECT_DOUBLE_EQ(scale.rate, 1201.0 / 1200.0) << name;
        EXPECT_EQ(scale.leadMs, 0) << name;
    }
}

// ---------------------------------------------------------------------------------------------
// Streams written here, where the answer is known to the tick

// A 33-bit time stamp in the five bytes of a PES header, with the marker `prefix`.
std::string Stamp(int64_t ticks, uint8_t prefix) {
    return {static_cast<char>(prefix | (ticks >> 29 & 0x0E) | 1),
            static_cast<char>(ticks >> 22 & 0xFF), static_cast<char>((ticks >> 14 & 0xFE) | 1),
            static_cast<char>(ticks >> 7 & 0xFF), static_cast<char>((ticks << 1 & 0xFE) | 1)};
}

std::string Mpeg2Pack(int64_t scr) {
    std::string pack("\0\0\1\xBA", 4);
    pack += static_cast<char>(0x44 | (scr >> 27 & 0x38) | (scr >> 28 & 3));
    pack += static_cast<char>(scr >> 20 & 0xFF);
    pack += static_cast<char>(0x04 | (scr >> 12 & 0xF8) | (scr >> 13 & 3));
    pack += static_cast<char>(scr >> 5 & 0xFF);
    pack += static_cast<char>(0x04 | (scr << 3 & 0xF8));
    pack += std::string("\x01\x01\x89\xC3\xF8", 5);  // extension, mux rate, no stuffing
    return pack;
}

std::string Mpeg1Pack(int64_t scr) {
    return std::string("\0\0\1\xBA", 4) + Stamp(scr, 0x20) + std::string("\x80\x1B\x83", 3);
}

std::string Mpeg2VideoPes(int64_t pts) {
    return std::string("\0\0\1\xE0\0\x0B\x81\x80\x05", 9) + Stamp(pts, 0x20) +
           std::string("\xFF\xFF\xFF", 3);
}

std::string Mpeg1VideoPes(int64_t pts) {
    // Stuffing, the buffer size, then the time stamp.
    return std::string("\0\0\1\xE0\0\x0C\xFF\xFF\x60\x2E", 10) + Stamp(pts, 0x20) +
           std::string("\xAA\xAA\xAA", 3);
}

// Packs every 40 ms, each followed by a picture 300 ms ahead of it but every fourth 500 ms
// ahead, which the mean of the middle half leaves out. At each pack the latest picture is the
// one of the pack before: 260 ms ahead. The clock starts near the 33-bit wrap.
template <typename Pack, typename Pes>
std::string ProgramStream(Pack pack, Pes pes) {
    const int64_t start = (int64_t{1} << 33) - 90 * 1000;
    std::string stream;
    for (int n = 0; n < 100; ++n) {
        const int64_t scr = (start + n * 90 * 40) % (int64_t{1} << 33);
        stream += pack(scr);
        stream += pes((scr + 90 * (n % 4 == 3 ? 500 : 300)) % (int64_t{1} << 33));
    }
    return stream;
}

TEST(StreamTiming, AProgramStreamsLeadIsTheMeanOfTheMiddleHalf) {
    EXPECT_EQ(ProgramStreamLeadMs(ProgramStream(Mpeg2Pack, Mpeg2VideoPes)), 260);
    EXPECT_EQ(ProgramStreamLeadMs(ProgramStream(Mpeg1Pack, Mpeg1VideoPes)), 260);
}

// One transport packet of PID 0x100: a PCR in its adaptation field, or a PES start.
std::string TransportPacket(std::optional<int64_t> pcr, const std::string& payload) {
    std::string packet("\x47\x41\x00", 3);
    if (pcr) {
        packet += '\x30';  // adaptation field and payload
        const size_t stuffing = 188 - 4 - 8 - payload.size();
        packet += static_cast<char>(7 + stuffing);
        packet += '\x10';
        packet += static_cast<char>(*pcr >> 25 & 0xFF);
        packet += static_cast<char>(*pcr >> 17 & 0xFF);
        packet += static_cast<char>(*pcr >> 9 & 0xFF);
        packet += static_cast<char>(*pcr >> 1 & 0xFF);
        packet += static_cast<char>((*pcr << 7 & 0x80) | 0x7E);
        packet += '\0';
        packet += std::string(stuffing, '\xFF');
    } else {
        packet += '\x10';
        packet += std::string(188 - 4 - payload.size(), '\xFF');
        return packet.substr(0, 4) + payload + packet.substr(4);
    }
    return packet + payload;
}

TEST(StreamTiming, ATransportStreamsLeadCountsAcrossTheWrap) {
    const int64_t pcr = (int64_t{1} << 33) - 90 * 200;  // 200 ms before the wrap
    std::string stream = TransportPacket(pcr, "");
    // Pictures out of order: the earliest, 900 ms after the PCR, comes second.
    for (const int64_t ms : {967, 900, 934, 1034, 1000}) {
        stream +=
            TransportPacket(std::nullopt, Mpeg2VideoPes((pcr + 90 * ms) % (int64_t{1} << 33)));
    }
    EXPECT_EQ(TransportStreamLeadMs(stream), 900);
    // Not a transport stream once a sync byte is missing.
    stream[188 * 3] = 'G';
    EXPECT_EQ(TransportStreamLeadMs(stream.substr(0, 188 * 3 - 1)), std::nullopt);
}

TEST(StreamTiming, CutAndForeignBytesFindNothing) {
    std::ifstream in(kTiming + "/dvd.mpg", std::ios::binary);
    std::string stream(64 * 1024, '\0');
    in.read(stream.data(), static_cast<std::streamsize>(stream.size()));
    for (const size_t cut : {0UL, 3UL, 13UL, 2047UL}) {
        EXPECT_EQ(ProgramStreamLeadMs(stream.substr(0, cut)), std::nullopt) << cut;
        EXPECT_EQ(TransportStreamLeadMs(stream.substr(0, cut)), std::nullopt) << cut;
        EXPECT_EQ(MatroskaLeadMs(stream.substr(0, cut)), std::nullopt) << cut;
    }
    EXPECT_EQ(TransportStreamLeadMs(stream), std::nullopt);
    EXPECT_EQ(MatroskaLeadMs(stream), std::nullopt);
}

}  // namespace
