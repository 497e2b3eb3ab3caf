#pragma once

// Locations (MRLs) libvlc opens, built from local paths. Pure functions with no state.

#include <string>

// The "dvd://" location of a DVD drive, DVD folder or disc image at `path` (UTF-8). libvlc
// cuts a location at '#' (a title and chapter) and '?', and decodes "%XX" in what is left, so
// every byte outside the unreserved characters of a URI (letters, digits, "-._~") is written
// as %XX; '/' stays as it is.
[[nodiscard]] std::string DvdLocation(const std::string& path);
