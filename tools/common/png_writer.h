#pragma once

// Writes 24-bit RGB pictures as PNG files, compressed with zlib: a
// screenshot of a dialog is a few kilobytes, not the hundreds its pixels
// take.

#include <cstdint>
#include <string>
#include <vector>

namespace qmx::tools {

// The PNG file of `width` x `height` pixels in `rgb` (3 bytes each, top row
// first); empty when zlib cannot compress them.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

// EncodePng into the file at `path`; false when it cannot be written.
bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace qmx::tools
