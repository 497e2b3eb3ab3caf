#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace devsim {
namespace {

double ParseSeconds(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < 0) {
        throw UsageError(option + " needs a number of seconds, not '" + text + "'");
    }
    return value;
}

}  // namespace

Options ParseOptions(int argc, char* argv[], bool& help) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = option.find('='); option.rfind("--", 0) == 0 && eq != option.npos) {
            inlineValue = option.substr(eq + 1);
            option.resize(eq);
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= argc) throw UsageError(option + " needs a value");
            return argv[++i];
        };
        if (option == "-h" || option == "--help") {
            help = true;
        } else if (option == "--dir") {
            options.folder = value();
            if (options.folder->empty()) throw UsageError("--dir needs a folder");
        } else if (option == "--name") {
            options.name = value();
            if (options.name.empty() || options.name == "." || options.name == ".." ||
                options.name.find('/') != std::string::npos) {
                throw UsageError("--name needs a file name, not '" + options.name + "'");
            }
        } else if (option == "--record") {
            options.record = value();
        } else if (option == "--epoch-ms" && !inlineValue) {
            options.epochMs = true;
        } else if (option == "--unplug-after") {
            options.unplugAfter = ParseSeconds(option, value());
        } else if (option == "--replug-after") {
            options.replugAfter = ParseSeconds(option, value());
        } else if (option == "--duration") {
            options.duration = ParseSeconds(option, value());
        } else if (option == "--talk" || option == "--talk-every") {
            auto& list = option == "--talk" ? options.talk : options.talkEvery;
            try {
                for (auto& u : ParseTalk(value())) list.push_back(std::move(u));
            } catch (const std::invalid_argument& e) {
                throw UsageError(option + ": " + e.what());
            }
        } else {
            throw UsageError("unknown option '" + std::string(argv[i]) + "'");
        }
    }
    if (options.replugAfter && !options.unplugAfter) {
        throw UsageError("--replug-after needs --unplug-after");
    }
    for (const auto& u : options.talkEvery) {
        if (u.ms < 1) throw UsageError("--talk-every needs a period of 1 ms or more");
    }
    return options;
}

}  // namespace devsim
