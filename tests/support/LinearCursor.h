#pragma once

// The synchronisation cursor's rules in their plainest form, with a line-by-line Seek: the
// reference that the tests and the fuzzer hold PlayScript's cursor against.

#include <cstdint>
#include <optional>
#include <vector>

#include "sync/PlayScript.h"

struct LinearCursor {
    bool LoadNext() {
        if (static_cast<uint32_t>(index) >= lines.size()) {
            next.time = -1;
            return false;
        }
        next = lines[static_cast<size_t>(index)];
        return true;
    }
    void Seek(int64_t t) {
        const int64_t cur = t / 100;
        currentTime = cur;
        index = 0;
        next.time = 0;
        if (!LoadNext()) return;
        for (;;) {
            if (cur == next.time) return;
            if (cur < next.time) {
                if (index == 0 || next.time - cur <= 2) return;
                --index;
                LoadNext();
                return;
            }
            ++index;
            if (!LoadNext()) return;
        }
    }
    std::optional<CSV_LINE> Advance(int64_t t) {
        const int64_t cur = t / 100;
        currentTime = cur;
        if (cur < previousTime) {
            Seek(t);
            previousTime = cur;
            return std::nullopt;
        }
        if (next.time != -1 && cur < next.time) {
            previousTime = cur;
            return std::nullopt;
        }
        if (cur - previousTime > 2) Seek(t);
        const CSV_LINE due = next;
        ++index;
        LoadNext();
        return due;
    }

    std::vector<CSV_LINE> lines;
    CSV_LINE next{-1, 0};
    int32_t index = 0;
    int64_t currentTime = 0;
    int64_t previousTime = 0;
};
