#include "Talk.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace devsim {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

Utterance ParseUtterance(const std::string& item) {
    const auto colon = item.find(':');
    if (colon == std::string::npos) throw std::invalid_argument("'" + item + "' has no ':'");
    const std::string time = item.substr(0, colon);
    const std::string hex = item.substr(colon + 1);
    Utterance u;
    char* end = nullptr;
    errno = 0;
    u.ms = std::strtod(time.c_str(), &end);
    if (time.empty() || *end != '\0' || errno != 0 || !std::isfinite(u.ms) || u.ms < 0) {
        throw std::invalid_argument("'" + time + "' is not a number of milliseconds");
    }
    if (hex.empty() || hex.size() % 2 != 0) {
        throw std::invalid_argument("'" + hex + "' is not bytes as pairs of hex digits");
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            throw std::invalid_argument("'" + hex + "' is not bytes as pairs of hex digits");
        }
        u.bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return u;
}

}  // namespace

std::vector<Utterance> ParseTalk(const std::string& text) {
    std::vector<Utterance> talk;
    size_t from = 0;
    for (;;) {
        const auto comma = text.find(',', from);
        talk.push_back(ParseUtterance(text.substr(from, comma - from)));
        if (comma == std::string::npos) return talk;
        from = comma + 1;
    }
}

TalkSchedule::TalkSchedule(std::vector<Utterance> once, std::vector<Utterance> every)
    : once_(std::move(once)), every_(std::move(every)) {
    // Items of the same time keep the order they were given in.
    std::stable_sort(once_.begin(), once_.end(),
                     [](const Utterance& a, const Utterance& b) { return a.ms < b.ms; });
    for (const auto& u : every_) {
        if (!(u.ms > 0)) throw std::invalid_argument("a repeated item needs a period above 0");
    }
}

void TalkSchedule::Start(double now) {
    start_ = now;
    onceSaid_ = 0;
    everyNextAt_.clear();
    for (const auto& u : every_) everyNextAt_.push_back(now + u.ms);
}

void TalkSchedule::Stop() {
    start_.reset();
    everyNextAt_.clear();
}

std::optional<double> TalkSchedule::NextAt() const {
    if (!start_) return std::nullopt;
    std::optional<double> next;
    if (onceSaid_ < once_.size()) next = *start_ + once_[onceSaid_].ms;
    for (const double at : everyNextAt_) {
        if (!next || at < *next) next = at;
    }
    return next;
}

std::vector<std::vector<uint8_t>> TalkSchedule::TakeDue(double now) {
    struct Due {
        double at;
        size_t order;
        const std::vector<uint8_t>* bytes;
    };
    std::vector<Due> due;
    if (!start_) return {};
    for (; onceSaid_ < once_.size() && *start_ + once_[onceSaid_].ms <= now; ++onceSaid_) {
        due.push_back({*start_ + once_[onceSaid_].ms, due.size(), &once_[onceSaid_].bytes});
    }
    for (size_t i = 0; i < every_.size(); ++i) {
        if (everyNextAt_[i] > now) continue;
        due.push_back({everyNextAt_[i], due.size(), &every_[i].bytes});
        while (everyNextAt_[i] <= now) everyNextAt_[i] += every_[i].ms;
    }
    std::sort(due.begin(), due.end(), [](const Due& a, const Due& b) {
        return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    std::vector<std::vector<uint8_t>> said;
    for (const auto& d : due) said.push_back(*d.bytes);
    return said;
}

}  // namespace devsim
