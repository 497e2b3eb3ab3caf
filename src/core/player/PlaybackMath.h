#pragma once

// The arithmetic of the playback commands: titles, time labels, slider positions and the
// fast-forward and rewind steps. Pure functions, called by the main window.

#include <cstdint>
#include <string>

// A title longer than 80 bytes shows as "..." and its last 80 bytes, cut forward to the next
// UTF-8 character boundary so that no character is split.
[[nodiscard]] std::string ShortenTitle(const std::string& title);

// "hh:mm:ss" of a time in ms; hours wrap at 24.
[[nodiscard]] std::string FormatClock(int64_t ms);

// Where the seek slider's position p (0 to 100) seeks to on media of `length` ms.
[[nodiscard]] int64_t SliderSeekTarget(int64_t length, int position);

// The seek slider's position (0 to 100) for time t of `length` ms.
[[nodiscard]] int SliderPosition(int64_t t, int64_t length);

// The step of fast-forward or rewind after the button has been held `holdElapsed` ms:
// 1000 ms doubling up to 128000 ms.
[[nodiscard]] int64_t HoldStep(int64_t holdElapsed);

// Where one hold step from t goes, kept within 0 and length - 1.
[[nodiscard]] int64_t HoldSeekTarget(int64_t t, int64_t step, int64_t length, bool forward);
