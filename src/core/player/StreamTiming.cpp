#include "player/StreamTiming.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What is read of a file: enough for several seconds of a DVD's or a broadcast's bit rate.
constexpr size_t kReadBytes = size_t{4} << 20;
constexpr int64_t kTicksPerMs = 90;  // MPEG clocks count 90 kHz
constexpr int64_t kWrap = int64_t{1} << 33;
// A lead outside this is not a mux lead but a stream we misread.
constexpr int64_t kMaxLeadMs = 5000;
// libvlc's DVD time counts NTSC frames at 30 a second.
constexpr double kNtscDvdRate = 1001.0 / 1000.0;

// Up to `limit` bytes of the file (or drive) at `path` from `offset`.
std::string ReadFile(const fs::path& path, uint64_t offset = 0, size_t limit = kReadBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    // A drive or a pipe may not tell its size: then the limit is read for.
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end >= 0) {
        if (static_cast<uint64_t>(end) <= offset) return {};
        limit = static_cast<size_t>(std::min<uint64_t>(limit, static_cast<uint64_t>(end) - offset));
    }
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(limit, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

uint8_t At(const std::string& bytes, size_t i) { return static_cast<uint8_t>(bytes[i]); }

// A PES header's 33-bit time stamp (PTS or DTS) from its five bytes at `i`.
int64_t TimeStamp(const std::string& b, size_t i) {
    return (int64_t{At(b, i) >> 1 & 7} << 30) | (int64_t{At(b, i + 1)} << 22) |
           (int64_t{At(b, i + 2) >> 1} << 15) | (int64_t{At(b, i + 3)} << 7) | (At(b, i + 4) >> 1);
}

// The PTS of the PES header at `i` (00 00 01 id len ...), if it has one in `b`: MPEG-2's
// flags, or MPEG-1's stuffing, buffer size and time stamps.
std::optional<int64_t> PesPts(const std::string& b, size_t i) {
    if (i + 9 > b.size()) return std::nullopt;
    if ((At(b, i + 6) & 0xC0) == 0x80) {
        if (i + 14 > b.size() || (At(b, i + 7) & 0x80) == 0) return std::nullopt;
        return TimeStamp(b, i + 9);
    }
    size_t k = i + 6;
    while (k < b.size() && k < i + 6 + 16 && At(b, k) == 0xFF) ++k;
    if (k < b.size() && (At(b, k) & 0xC0) == 0x40) k += 2;
    if (k + 5 <= b.size() && (At(b, k) & 0xE0) == 0x20) return TimeStamp(b, k);
    return std::nullopt;
}

bool IsVideo(uint8_t streamId) { return streamId >= 0xE0 && streamId <= 0xEF; }

// `later` - `earlier` in clock ticks, across the 33-bit wrap.
int64_t TicksBetween(int64_t later, int64_t earlier) {
    int64_t ticks = later - earlier;
    if (ticks < -kWrap / 2) ticks += kWrap;
    if (ticks > kWrap / 2) ticks -= kWrap;
    return ticks;
}

int64_t RoundToMs(int64_t ticks) {
    return (ticks >= 0 ? ticks + kTicksPerMs / 2 : ticks - kTicksPerMs / 2) / kTicksPerMs;
}

int64_t TicksToMs(int64_t later, int64_t earlier) {
    return RoundToMs(TicksBetween(later, earlier));
}

std::optional<int64_t> InMs(std::optional<int64_t> ticks) {
    if (!ticks) return std::nullopt;
    return RoundToMs(*ticks);
}

// The mean of the middle half, as ClockFit weighs the reports.
std::optional<int64_t> TrimmedMean(std::vector<int64_t> values) {
    if (values.empty()) return std::nullopt;
    return MiddleHalfMean(std::move(values));
}

std::optional<int64_t> Plausible(std::optional<int64_t> lead) {
    if (lead && (*lead < 0 || *lead > kMaxLeadMs)) return std::nullopt;
    return lead;
}

// Walks the packs of a program stream: `onPack(scr)` for each pack header, `onPes(i, id)` for
// each packet after it. MPEG-1 packs (12 bytes) and MPEG-2 packs (14 and stuffing) both.
void WalkPacks(const std::string& b, const std::function<void(int64_t)>& onPack,
               const std::function<void(size_t, uint8_t)>& onPes) {
    size_t i = 0;
    while (i + 6 <= b.size()) {
        if (At(b, i) != 0 || At(b, i + 1) != 0 || At(b, i + 2) != 1) {
            ++i;
            continue;
        }
        const uint8_t id = At(b, i + 3);
        if (id == 0xBA) {
            if (i + 14 > b.size()) break;
            if ((At(b, i + 4) & 0xC0) == 0x40) {  // MPEG-2
                const int64_t scr =
                    (int64_t{At(b, i + 4) >> 3 & 7} << 30) | (int64_t{At(b, i + 4) & 3} << 28) |
                    (int64_t{At(b, i + 5)} << 20) | (int64_t{At(b, i + 6) >> 3} << 15) |
                    (int64_t{At(b, i + 6) & 3} << 13) | (int64_t{At(b, i + 7)} << 5) |
                    (At(b, i + 8) >> 3);
                onPack(scr);
                i += 14 + (At(b, i + 13) & 7);
            } else {  // MPEG-1: the SCR is laid out as a PTS
                onPack(TimeStamp(b, i + 4));
                i += 12;
            }
            continue;
        }
        if (id < 0xBB) {  // not a packet start: a start code inside the data
            ++i;
            continue;
        }
        onPes(i, id);
        i += 6 + (size_t{At(b, i + 4)} << 8 | At(b, i + 5));
    }
}

// The packet size of a transport stream in `b` (188, or 192 with a time code before each
// packet) and where its sync bytes are, or none.
std::optional<std::pair<size_t, size_t>> TransportLayout(const std::string& b) {
    for (const size_t size : {size_t{188}, size_t{192}}) {
        const size_t sync = size - 188;
        bool all = b.size() >= size * 5;
        for (size_t n = 0; all && n < 5; ++n) all = At(b, sync + n * size) == 0x47;
        if (all) return std::pair{size, sync};
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Reading a DVD: from a folder, or from the ISO 9660 file system of an image or a drive.

constexpr size_t kSector = 2048;

// A file of VIDEO_TS: where its bytes are.
struct DiscFile {
    fs::path container;  // the file itself, or the image it is in
    uint64_t offset = 0;
    uint64_t size = 0;
};

// The files of VIDEO_TS in the ISO 9660 image (or drive) at `image`, by upper-case name
// without the ";1" version.
std::vector<std::pair<std::string, DiscFile>> IsoVideoTs(const fs::path& image) {
    std::vector<std::pair<std::string, DiscFile>> files;
    const std::string volume = ReadFile(image, 16 * kSector, kSector);
    if (volume.size() < kSector || volume.compare(0, 6, "\1CD001") != 0) return files;
    auto u32 = [](const std::string& b, size_t i) {
        return uint32_t{At(b, i)} | uint32_t{At(b, i + 1)} << 8 | uint32_t{At(b, i + 2)} << 16 |
               uint32_t{At(b, i + 3)} << 24;
    };
    // Each record of a directory: (name, extent, size, is a directory).
    auto records = [&](uint32_t extent, uint32_t size,
                       const std::function<void(std::string, uint32_t, uint32_t, bool)>& each) {
        const std::string dir =
            ReadFile(image, uint64_t{extent} * kSector, std::min<size_t>(size, 64 * kSector));
        size_t i = 0;
        while (i + 33 < dir.size()) {
            const size_t length = At(dir, i);
            if (length == 0) {  // records do not cross sectors: on to the next one
                i = (i / kSector + 1) * kSector;
                continue;
            }
            if (i + length > dir.size()) break;
            const size_t nameLength = At(dir, i + 32);
            std::string name = dir.substr(i + 33, std::min(nameLength, length - 33));
            if (const size_t semicolon = name.find(';'); semicolon != std::string::npos) {
                name.resize(semicolon);
            }
            for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            each(name, u32(dir, i + 2), u32(dir, i + 10), (At(dir, i + 25) & 2) != 0);
            i += length;
        }
    };
    std::optional<std::pair<uint32_t, uint32_t>> videoTs;
    records(u32(volume, 156 + 2), u32(volume, 156 + 10),
            [&](const std::string& name, uint32_t extent, uint32_t size, bool directory) {
                if (directory && name == "VIDEO_TS") videoTs = {extent, size};
            });
    if (!videoTs) return files;
    records(videoTs->first, videoTs->second,
            [&](const std::string& name, uint32_t extent, uint32_t size, bool directory) {
                if (!directory) {
                    files.emplace_back(name, DiscFile{image, uint64_t{extent} * kSector, size});
                }
            });
    return files;
}

// The files of the DVD at `path`: a VIDEO_TS folder, a folder holding one, or an image.
std::vector<std::pair<std::string, DiscFile>> DvdFiles(const fs::path& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) return IsoVideoTs(path);
    fs::path folder = path;
    if (fs::is_directory(path / "VIDEO_TS", error)) folder = path / "VIDEO_TS";
    std::vector<std::pair<std::string, DiscFile>> files;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const uint64_t size = entry.is_regular_file(error) ? entry.file_size(error) : 0;
        files.emplace_back(name, DiscFile{entry.path(), 0, size});
    }
    return files;
}

std::string ReadDiscFile(const DiscFile& file, size_t limit) {
    return ReadFile(file.container, file.offset,
                    static_cast<size_t>(std::min<uint64_t>(file.size, limit)));
}

// The path a dvd:// location names: after the scheme, before '#' or '?', %XX decoded.
std::string DvdPath(const std::string& location) {
    static constexpr char kScheme[] = "dvd://";
    std::string rest =
        location.rfind(kScheme, 0) == 0 ? location.substr(sizeof kScheme - 1) : location;
    if (location.rfind(kScheme, 0) == 0) rest = rest.substr(0, rest.find_first_of("#?"));
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() &&
            std::isxdigit(static_cast<uint8_t>(rest[i + 1])) &&
            std::isxdigit(static_cast<uint8_t>(rest[i + 2]))) {
            path += static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

}  // namespace

std::optional<int64_t> TransportStreamLeadMs(const std::string& b) {
    const auto layout = TransportLayout(b);
    if (!layout) return std::nullopt;
    const auto [size, sync] = *layout;
    std::optional<int64_t> firstPcr;
    std::optional<int64_t> firstPicture;
    int videoPackets = 0;
    // Pictures may come out of order (B-frames): the earliest of the first few counts.
    for (size_t p = sync; p + 188 <= b.size() && videoPackets < 16; p += size) {
        if (At(b, p) != 0x47) return std::nullopt;
        const bool unitStart = (At(b, p + 1) & 0x40) != 0;
        const uint8_t control = At(b, p + 3) >> 4 & 3;
        size_t payload = p + 4;
        if ((control & 2) != 0) {
            const size_t adaptation = At(b, p + 4);
            if (adaptation >= 7 && (At(b, p + 5) & 0x10) != 0 && !firstPcr) {
                firstPcr = (int64_t{At(b, p + 6)} << 25) | (int64_t{At(b, p + 7)} << 17) |
                           (int64_t{At(b, p + 8)} << 9) | (int64_t{At(b, p + 9)} << 1) |
                           (At(b, p + 10) >> 7);
            }
            payload += 1 + adaptation;
        }
        if ((control & 1) == 0 || !unitStart || payload + 14 > p + 188) continue;
        const std::string packet = b.substr(payload, p + 188 - payload);
        if (At(packet, 0) != 0 || At(packet, 1) != 0 || At(packet, 2) != 1 ||
            !IsVideo(At(packet, 3))) {
            continue;
        }
        if (const auto pts = PesPts(packet, 0); pts && firstPcr) {
            ++videoPackets;
            if (!firstPicture || TicksToMs(*pts, *firstPicture) < 0) firstPicture = *pts;
        }
    }
    if (!firstPcr || !firstPicture) return std::nullopt;
    return Plausible(TicksToMs(*firstPicture, *firstPcr));
}

std::optional<int64_t> ProgramStreamLeadMs(const std::string& b) {
    std::optional<int64_t> scr;
    std::optional<int64_t> lastPicture;
    std::vector<int64_t> leads;
    WalkPacks(
        b,
        [&](int64_t packScr) {
            scr = packScr;
            if (lastPicture) leads.push_back(TicksBetween(*lastPicture, packScr));
        },
        [&](size_t i, uint8_t id) {
            if (!IsVideo(id) || !scr) return;
            if (const auto pts = PesPts(b, i)) lastPicture = *pts;
        });
    return Plausible(InMs(TrimmedMean(std::move(leads))));
}

std::optional<int64_t> DvdNavLeadMs(const std::string& b) {
    std::optional<int64_t> scr;
    std::vector<int64_t> leads;
    WalkPacks(
        b, [&](int64_t packScr) { scr = packScr; },
        [&](size_t i, uint8_t id) {
            // A nav pack's PCI: substream 0, then the unit's start time after 12 bytes.
            if (id != 0xBF || !scr || i + 23 > b.size() || At(b, i + 6) != 0) return;
            const int64_t start = (int64_t{At(b, i + 19)} << 24) | (int64_t{At(b, i + 20)} << 16) |
                                  (int64_t{At(b, i + 21)} << 8) | At(b, i + 22);
            leads.push_back(TicksBetween(start, *scr));
        });
    return Plausible(InMs(TrimmedMean(std::move(leads))));
}

std::optional<int64_t> MatroskaLeadMs(const std::string& b) {
    // An EBML element at `i`: its id (with the length marker) and its size; the size of an
    // element of unknown size is what is left.
    struct Element {
        uint32_t id = 0;
        size_t data = 0;
        size_t size = 0;
    };
    auto read = [&](size_t i) -> std::optional<Element> {
        auto vint = [&](size_t& at, bool keepMarker) -> std::optional<uint64_t> {
            if (at >= b.size() || At(b, at) == 0) return std::nullopt;
            const int length = std::countl_zero(At(b, at)) + 1;
            if (length > 8 || at + static_cast<size_t>(length) > b.size()) return std::nullopt;
            uint64_t value = keepMarker ? At(b, at) : At(b, at) & (0xFF >> length);
            bool allOnes = value == (0xFFu >> length);
            for (int k = 1; k < length; ++k) {
                value = value << 8 | At(b, at + static_cast<size_t>(k));
                allOnes = allOnes && At(b, at + static_cast<size_t>(k)) == 0xFF;
            }
            at += static_cast<size_t>(length);
            if (!keepMarker && allOnes) return UINT64_MAX;
            return value;
        };
        size_t at = i;
        const auto id = vint(at, true);
        const auto size = vint(at, false);
        if (!id || !size || *id > UINT32_MAX) return std::nullopt;
        return Element{static_cast<uint32_t>(*id), at,
                       static_cast<size_t>(std::min<uint64_t>(*size, b.size() - at))};
    };
    auto unsignedValue = [&](const Element& e) {
        uint64_t value = 0;
        for (size_t k = 0; k < e.size && k < 8; ++k) value = value << 8 | At(b, e.data + k);
        return value;
    };
    constexpr uint32_t kSegment = 0x18538067, kInfo = 0x1549A966, kTimestampScale = 0x2AD7B1,
                       kTracks = 0x1654AE6B, kTrackEntry = 0xAE, kTrackNumber = 0xD7,
                       kTrackType = 0x83, kCluster = 0x1F43B675, kTimestamp = 0xE7,
                       kSimpleBlock = 0xA3, kBlockGroup = 0xA0, kBlock = 0xA1;
    uint64_t scaleNs = 1000000;
    std::vector<uint64_t> videoTracks;
    int64_t clusterTime = 0;
    std::optional<int64_t> earliest;
    std::optional<int64_t> firstVideo;
    int blocks = 0;
    // Walks the elements in [from, to), descending into those that hold what is needed (four
    // levels at most: Segment, Cluster, BlockGroup, Block).
    std::function<void(size_t, size_t, int)> walk = [&](size_t from, size_t to, int depth) {
        if (depth > 4) return;
        for (size_t i = from; i < to && blocks < 64;) {
            const auto e = read(i);
            if (!e || e->data + e->size > to) return;
            switch (e->id) {
                case kSegment:
                case kInfo:
                case kTracks:
                case kCluster:
                case kBlockGroup:
                    walk(e->data, e->data + e->size, depth + 1);
                    break;
                case kTimestampScale:
                    scaleNs = std::max<uint64_t>(unsignedValue(*e), 1);
                    break;
                case kTrackEntry: {
                    uint64_t number = 0;
                    uint64_t type = 0;
                    for (size_t k = e->data; k < e->data + e->size;) {
                        const auto field = read(k);
                        if (!field) break;
                        if (field->id == kTrackNumber) number = unsignedValue(*field);
                        if (field->id == kTrackType) type = unsignedValue(*field);
                        k = field->data + field->size;
                    }
                    if (type == 1) videoTracks.push_back(number);
                    break;
                }
                case kTimestamp:
                    clusterTime = static_cast<int64_t>(unsignedValue(*e));
                    break;
                case kSimpleBlock:
                case kBlock: {
                    if (e->size < 4 || At(b, e->data) < 0x80) break;  // one-byte track numbers
                    const uint64_t track = At(b, e->data) & 0x7F;
                    const auto relative =
                        static_cast<int16_t>(At(b, e->data + 1) << 8 | At(b, e->data + 2));
                    const int64_t time = clusterTime + relative;
                    earliest = std::min(earliest.value_or(time), time);
                    if (std::find(videoTracks.begin(), videoTracks.end(), track) !=
                        videoTracks.end()) {
                        firstVideo = std::min(firstVideo.value_or(time), time);
                    }
                    ++blocks;
                    break;
                }
                default:
                    break;
            }
            i = e->data + e->size;
        }
    };
    if (b.size() < 4 || b.compare(0, 4, "\x1A\x45\xDF\xA3") != 0) return std::nullopt;
    walk(0, b.size(), 0);
    if (!earliest || !firstVideo) return std::nullopt;
    const double ns = static_cast<double>(*firstVideo - *earliest) * static_cast<double>(scaleNs);
    return Plausible(static_cast<int64_t>(std::llround(ns / 1e6)));
}

ClockScale FileClockScale(const std::string& path) {
    const std::string bytes = ReadFile(fs::u8path(path));
    std::optional<int64_t> lead = TransportStreamLeadMs(bytes);
    if (!lead) lead = MatroskaLeadMs(bytes);
    if (!lead && bytes.size() >= 4 && bytes.compare(0, 4, std::string("\0\0\1\xBA", 4)) == 0) {
        lead = ProgramStreamLeadMs(bytes);
    }
    return {1.0, lead.value_or(0)};
}

ClockScale DvdClockScale(const std::string& location) {
    const auto files = DvdFiles(fs::u8path(DvdPath(location)));
    auto find = [&](const std::string& name) -> const DiscFile* {
        for (const auto& [fileName, file] : files) {
            if (fileName == name) return &file;
        }
        return nullptr;
    };
    // The first title set tells the video standard (its video attributes at 0x200: 0 NTSC,
    // 1 PAL) and, in its first VOB, the lead.
    const DiscFile* ifo = find("VTS_01_0.IFO");
    const DiscFile* vob = find("VTS_01_1.VOB");
    if (ifo == nullptr || vob == nullptr) return kUnreadDvdScale;
    const std::string attributes = ReadDiscFile(*ifo, 0x201);
    if (attributes.size() <= 0x200 || attributes.compare(0, 12, "DVDVIDEO-VTS") != 0) {
        return kUnreadDvdScale;
    }
    const bool pal = (At(attributes, 0x200) >> 4 & 3) == 1;
    const std::optional<int64_t> lead = DvdNavLeadMs(ReadDiscFile(*vob, kReadBytes));
    return {pal ? 1.0 : kNtscDvdRate, lead.value_or(0)};
}
