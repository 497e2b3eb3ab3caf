// The virtual dongle's command line: the input, cut at NUL bytes, is the argument list. What
// the parser accepts must satisfy the options' own rules and read back the same from the
// command line written out again; every talk item's bytes must be its hex digits.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Options.h"
#include "Talk.h"

namespace {

using devsim::Options;
using devsim::Utterance;

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_devsim_options: %s: %s\n", what, detail.c_str());
    std::abort();
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string hex;
    for (const uint8_t b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", b);
        hex += pair;
    }
    return hex;
}

std::string TalkText(const std::vector<Utterance>& talk) {
    std::string text;
    for (const Utterance& u : talk) {
        text += (text.empty() ? "" : ",") + Number(u.ms) + ":" + Hex(u.bytes);
    }
    return text;
}

bool SameTalk(const std::vector<Utterance>& a, const std::vector<Utterance>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].ms != b[i].ms || a[i].bytes != b[i].bytes) return false;
    }
    return true;
}

bool Same(const Options& a, const Options& b) {
    return a.folder == b.folder && a.name == b.name && a.record == b.record &&
           a.epochMs == b.epochMs && a.unplugAfter == b.unplugAfter &&
           a.replugAfter == b.replugAfter && a.duration == b.duration && SameTalk(a.talk, b.talk) &&
           SameTalk(a.talkEvery, b.talkEvery);
}

struct Parsed {
    std::optional<Options> options;  // none for a usage error
    bool help = false;
};

Parsed Parse(const std::vector<std::string>& arguments) {
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv{const_cast<char*>("kestrune-devsim")};
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    Parsed parsed;
    try {
        parsed.options =
            devsim::ParseOptions(static_cast<int>(argv.size() - 1), argv.data(), parsed.help);
    } catch (const devsim::UsageError& e) {
        if (std::string(e.what()).empty()) Fail("usage error without a reason", "");
    } catch (const std::exception& e) {
        Fail("escaped the parser", e.what());
    }
    return parsed;
}

bool ValidSeconds(const std::optional<double>& seconds) {
    return !seconds || (std::isfinite(*seconds) && *seconds >= 0);
}

void CheckRules(const Options& o) {
    if (o.folder && o.folder->empty()) Fail("empty folder", "");
    if (o.name.empty() || o.name == "." || o.name == ".." ||
        o.name.find('/') != std::string::npos) {
        Fail("name is no file name", o.name);
    }
    if (!ValidSeconds(o.unplugAfter) || !ValidSeconds(o.replugAfter) || !ValidSeconds(o.duration)) {
        Fail("seconds out of range", "");
    }
    if (o.replugAfter && !o.unplugAfter) Fail("replug without unplug", "");
    for (const auto* list : {&o.talk, &o.talkEvery}) {
        for (const Utterance& u : *list) {
            if (!std::isfinite(u.ms) || u.ms < 0 || u.bytes.empty()) {
                Fail("talk item out of range", Number(u.ms) + ":" + Hex(u.bytes));
            }
        }
    }
    for (const Utterance& u : o.talkEvery) {
        if (u.ms < 1) Fail("period under 1 ms", Number(u.ms));
    }
}

// The options as a command line of their own, values apart or after '=' by `inlineValues`.
std::vector<std::string> Written(const Options& o, bool help, bool inlineValues) {
    std::vector<std::string> arguments;
    const auto add = [&](const std::string& option, const std::string& value) {
        if (inlineValues) {
            arguments.push_back(option + "=" + value);
        } else {
            arguments.push_back(option);
            arguments.push_back(value);
        }
    };
    if (help) arguments.push_back("--help");
    if (o.folder) add("--dir", *o.folder);
    add("--name", o.name);
    if (o.record) add("--record", *o.record);
    if (o.epochMs) arguments.push_back("--epoch-ms");
    if (o.unplugAfter) add("--unplug-after", Number(*o.unplugAfter));
    if (o.replugAfter) add("--replug-after", Number(*o.replugAfter));
    if (o.duration) add("--duration", Number(*o.duration));
    if (!o.talk.empty()) add("--talk", TalkText(o.talk));
    for (const Utterance& u : o.talkEvery) add("--talk-every", TalkText({u}));
    return arguments;
}

// The talk text on its own: each comma-separated item's bytes are the hex digits after its
// first ':', and the parsed list reads back the same when written out again.
void CheckTalk(const std::string& text) {
    std::vector<Utterance> talk;
    try {
        talk = devsim::ParseTalk(text);
    } catch (const std::invalid_argument& e) {
        if (std::string(e.what()).empty()) Fail("talk refused without a reason", text);
        return;
    }
    std::vector<std::string> items{""};
    for (const char c : text) {
        if (c == ',') {
            items.emplace_back();
        } else {
            items.back() += c;
        }
    }
    if (items.size() != talk.size()) Fail("talk items miscounted", text);
    for (size_t i = 0; i < items.size(); ++i) {
        std::string hex = items[i].substr(items[i].find(':') + 1);
        for (char& c : hex) {
            if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        }
        if (hex != Hex(talk[i].bytes)) Fail("talk bytes are not the item's hex", items[i]);
    }
    try {
        if (!SameTalk(devsim::ParseTalk(TalkText(talk)), talk)) Fail("talk reads back", text);
    } catch (const std::invalid_argument& e) {
        Fail("written talk refused", TalkText(talk) + ": " + e.what());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments{""};
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += static_cast<char>(data[i]);
        }
    }
    if (size == 0) arguments.clear();

    for (const std::string& argument : arguments) {
        const auto eq = argument.find('=');
        CheckTalk(argument.substr(eq == std::string::npos ? 0 : eq + 1));
    }

    const Parsed parsed = Parse(arguments);
    if (!parsed.options) return 0;
    CheckRules(*parsed.options);
    for (const bool inlineValues : {false, true}) {
        const Parsed again = Parse(Written(*parsed.options, parsed.help, inlineValues));
        if (!again.options || again.help != parsed.help || !Same(*again.options, *parsed.options)) {
            Fail("options read back differently", inlineValues ? "with '='" : "apart");
        }
    }
    return 0;
}
