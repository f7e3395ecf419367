#include "png_writer.h"

#include <zlib.h>

#include <cstdio>

namespace qmx::tools {
namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void Chunk(std::vector<std::uint8_t>& file, const char* type, const std::vector<std::uint8_t>& data) {
    Put32(file, static_cast<std::uint32_t>(data.size()));
    const std::size_t body = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    Put32(file, static_cast<std::uint32_t>(
                    crc32(0, file.data() + body, static_cast<uInt>(file.size() - body))));
}

// Each row with the "up" filter: a row less its row above. Dialogs are
// mostly rows like the one before, which then become runs of zeros.
std::vector<std::uint8_t> FilteredRows(int width, int height, const std::vector<std::uint8_t>& rgb) {
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> rows;
    rows.reserve(static_cast<std::size_t>(height) * (stride + 1));
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        rows.push_back(2);
        const std::uint8_t* row = rgb.data() + y * stride;
        for (std::size_t x = 0; x < stride; ++x)
            rows.push_back(static_cast<std::uint8_t>(row[x] - (y == 0 ? 0 : row[x - stride])));
    }
    return rows;
}

}  // namespace

std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
    if (width <= 0 || height <= 0 ||
        rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3)
        return {};
    const std::vector<std::uint8_t> rows = FilteredRows(width, height, rgb);
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()), Z_BEST_COMPRESSION) !=
        Z_OK)
        return {};
    packed.resize(packedSize);

    std::vector<std::uint8_t> header;
    Put32(header, static_cast<std::uint32_t>(width));
    Put32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace

    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Chunk(file, "IHDR", header);
    Chunk(file, "IDAT", packed);
    Chunk(file, "IEND", {});
    return file;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    const std::vector<std::uint8_t> file = EncodePng(width, height, rgb);
    if (file.empty()) return false;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace qmx::tools
