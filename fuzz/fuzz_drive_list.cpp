// The drive list's readers of system files. Mount tables written as the kernel writes them
// (fields apart by one space, space, tab, newline and backslash in octal) with names of any
// bytes must list each network mount point once, by its name, with the last mount's source,
// in numeric order; the unescaping alone must undo the kernel's escapes and never grow a
// field; a udev record's property is the first "E:KEY=" line's value, whatever lines surround
// it.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ScratchFile.h"
#include "dvd/DriveList.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_drive_list: %s: [%s]\n", what, detail.c_str());
    std::abort();
}

// As the kernel writes a name into the mount table.
std::string Escaped(const std::string& name) {
    std::string field;
    for (const char c : name) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            const auto byte = static_cast<unsigned char>(c);
            field += '\\';
            field += static_cast<char>('0' + (byte >> 6));
            field += static_cast<char>('0' + ((byte >> 3) & 7));
            field += static_cast<char>('0' + (byte & 7));
        } else {
            field += c;
        }
    }
    return field;
}

void CheckUnescape(const std::string& name, const std::string& raw) {
    if (UnescapeMountField(Escaped(name)) != name) Fail("escapes not undone", name);
    const std::string text = UnescapeMountField(raw);
    if (text.size() > raw.size()) Fail("unescaping grew the field", raw);
    if (raw.find('\\') == std::string::npos && text != raw) Fail("changed a plain field", raw);
}

void CheckUdevRecord(FuzzedDataProvider& input) {
    std::string key = "ID_";
    for (const char c : input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 6))) {
        key += "ABC_019"[static_cast<unsigned char>(c) % 7];
    }
    const std::string value = input.ConsumeRandomLengthString(24);
    if (value.find('\n') != std::string::npos) return;

    // Lines about other keys and other kinds, some of them this key's near misses.
    std::vector<std::string> lines;
    const int count = input.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        static constexpr std::string_view kHeads[] = {"E:", "S:", "E:ID_", "e:", "E: ", ""};
        std::string line(kHeads[input.ConsumeIntegralInRange<size_t>(0, std::size(kHeads) - 1)]);
        if (input.ConsumeBool())
            line += key.substr(0, input.ConsumeIntegralInRange<size_t>(0, key.size()));
        line += input.ConsumeRandomLengthString(16);
        if (line.find('\n') == std::string::npos) lines.push_back(line);
    }
    const size_t at = input.ConsumeIntegralInRange<size_t>(0, lines.size());
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), "E:" + key + "=" + value);

    std::string record;
    for (const std::string& line : lines) record += line + "\n";
    if (input.ConsumeBool()) record.pop_back();

    constexpr std::string_view kSpace = " \t\r\n";
    std::string expected;
    for (const std::string& line : lines) {
        if (line.rfind("E:" + key + "=", 0) != 0) continue;
        const std::string_view rest = std::string_view(line).substr(key.size() + 3);
        const size_t first = rest.find_first_not_of(kSpace);
        if (first != std::string_view::npos) {
            expected = rest.substr(first, rest.find_last_not_of(kSpace) - first + 1);
        }
        break;
    }
    if (UdevRecordProperty(record, key) != expected) Fail("property misread", key);
}

// Paths as people count: runs of digits by their value, then by their length; else bytes.
bool CountedLess(std::string_view a, std::string_view b) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (!a.empty() && !b.empty()) {
        if (isDigit(a[0]) && isDigit(b[0])) {
            const size_t lengthA = std::find_if_not(a.begin(), a.end(), isDigit) - a.begin();
            const size_t lengthB = std::find_if_not(b.begin(), b.end(), isDigit) - b.begin();
            std::string_view runA = a.substr(0, lengthA);
            std::string_view runB = b.substr(0, lengthB);
            while (runA.size() > 1 && runA[0] == '0') runA.remove_prefix(1);
            while (runB.size() > 1 && runB[0] == '0') runB.remove_prefix(1);
            if (runA.size() != runB.size()) return runA.size() < runB.size();
            if (runA != runB) return runA < runB;
            if (lengthA != lengthB) return lengthA < lengthB;
            a.remove_prefix(lengthA);
            b.remove_prefix(lengthB);
        } else {
            if (a[0] != b[0])
                return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
            a.remove_prefix(1);
            b.remove_prefix(1);
        }
    }
    return a.empty() && !b.empty();
}

void CheckMountTable(FuzzedDataProvider& input) {
    static ScratchFile file("kestrune-fuzz-mounts");
    static constexpr std::string_view kNetwork[] = {"nfs", "nfs4", "cifs", "fuse.sshfs"};
    static constexpr std::string_view kLocal[] = {"ext4", "tmpfs", "proc", "fuse", "nfsd"};
    // Mount points from a few names so that some are mounted over, and digits to order.
    static constexpr std::string_view kNames[] = {"/mnt/", "share", "2",  "10", "01", " ", "\t",
                                                  "\n",    "\\",    "\r", "\v", "#",  "é"};
    std::string table;
    std::map<std::string, std::string> expected;  // mount point -> the last mount's source
    const int count = input.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        std::string target = "/";
        for (int p = input.ConsumeIntegralInRange<int>(1, 4); p > 0; --p) {
            target += kNames[input.ConsumeIntegralInRange<size_t>(0, std::size(kNames) - 1)];
        }
        std::string source = input.ConsumeRandomLengthString(12);
        source.erase(std::remove(source.begin(), source.end(), '\0'), source.end());
        if (source.empty()) source = "server:/export";
        const bool network = input.ConsumeBool();
        const std::string_view type =
            network ? kNetwork[input.ConsumeIntegralInRange<size_t>(0, std::size(kNetwork) - 1)]
                    : kLocal[input.ConsumeIntegralInRange<size_t>(0, std::size(kLocal) - 1)];
        table += Escaped(source) + " " + Escaped(target) + " " + std::string(type) +
                 " rw,relatime 0 0\n";
        if (network) expected[target] = source;
    }

    DriveRoots roots;
    roots.sysBlock = "/nonexistent/kestrune-fuzz";
    roots.udevData = "/nonexistent/kestrune-fuzz";
    roots.mounts = file.Write(reinterpret_cast<const uint8_t*>(table.data()), table.size());
    const std::vector<DriveInfo> drives = ListDrives(kDriveAll, roots);

    if (drives.size() != expected.size()) Fail("network mounts miscounted", table);
    for (size_t i = 0; i < drives.size(); ++i) {
        const DriveInfo& drive = drives[i];
        const auto found = expected.find(drive.path);
        if (found == expected.end()) Fail("a mount point that is not in the table", drive.path);
        if (drive.type != kDriveNetwork) Fail("a network mount of another kind", drive.path);
        if (drive.displayName != found->second + " (" + drive.path + ")") {
            Fail("not named by the last mount's source", drive.displayName);
        }
        if (i > 0 && !CountedLess(drives[i - 1].path, drive.path)) {
            Fail("out of numeric order", drives[i - 1].path + "] before [" + drive.path);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: {
            const std::string name = input.ConsumeRandomLengthString(64);
            CheckUnescape(name, input.ConsumeRemainingBytesAsString());
            break;
        }
        case 1:
            CheckUdevRecord(input);
            break;
        default:
            CheckMountTable(input);
            break;
    }
    return 0;
}
