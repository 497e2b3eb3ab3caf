#pragma once

// Where a made play file goes: beside its video, "VIDEO.csv" when no such file exists, else
// "VIDEO (2).csv", "VIDEO (3).csv" and so on. A file that is there is never written over, even
// one that appears between the choice of the name and the writing.

#include <string>
#include <vector>

#include "sync/PlayScript.h"

// The play file a draft of `video` goes to by default: beside it, same name, ".csv".
[[nodiscard]] std::string DraftPathFor(const std::string& video);

// Writes `lines` to `path` whole or not at all (through a temporary file beside it). Without
// `overwrite`, an existing file is left as it is and the call fails. False with `error` set
// when it did not write.
[[nodiscard]] bool SavePlayFile(const std::string& path, const std::vector<CSV_LINE>& lines,
                                bool overwrite, std::string* error);

// The name of the `n`th play file for `video` (1: "VIDEO.csv", 2: "VIDEO (2).csv", ...).
[[nodiscard]] std::string NumberedPlayFile(const std::string& video, int n);

// Writes `lines` under the first of those names that is free; the name written, or empty
// with `error` set.
[[nodiscard]] std::string SaveNewPlayFile(const std::string& video,
                                          const std::vector<CSV_LINE>& lines, std::string* error);
