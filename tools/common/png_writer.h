#pragma once

// Writes 24-bit RGB pictures as PNG files, uncompressed (stored deflate
// blocks): enough for screenshots, with no library needed on any platform.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qmx::tools {

class TPngWriter {
public:
    // `rgb` holds width * height pixels, 3 bytes each, top row first.
    static bool Write(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
        std::vector<std::uint8_t> raw;  // each row: filter byte 0, then the pixels
        raw.reserve(static_cast<std::size_t>(height) * (static_cast<std::size_t>(width) * 3 + 1));
        for (int y = 0; y < height; ++y) {
            raw.push_back(0);
            const auto* row = rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
            raw.insert(raw.end(), row, row + static_cast<std::size_t>(width) * 3);
        }
        std::vector<std::uint8_t> zlib = {0x78, 0x01};
        for (std::size_t at = 0; at < raw.size() || at == 0;) {
            const std::size_t length = raw.size() - at < 65535 ? raw.size() - at : 65535;
            zlib.push_back(at + length == raw.size() ? 1 : 0);
            zlib.push_back(static_cast<std::uint8_t>(length));
            zlib.push_back(static_cast<std::uint8_t>(length >> 8));
            zlib.push_back(static_cast<std::uint8_t>(~length));
            zlib.push_back(static_cast<std::uint8_t>(~length >> 8));
            zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                        raw.begin() + static_cast<std::ptrdiff_t>(at + length));
            at += length;
            if (raw.empty()) break;
        }
        std::uint32_t a = 1, b = 0;
        for (auto byte : raw) {
            a = (a + byte) % 65521;
            b = (b + a) % 65521;
        }
        Put32(zlib, (b << 16) | a);

        std::vector<std::uint8_t> header;
        Put32(header, static_cast<std::uint32_t>(width));
        Put32(header, static_cast<std::uint32_t>(height));
        header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace

        std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        Chunk(file, "IHDR", header);
        Chunk(file, "IDAT", zlib);
        Chunk(file, "IEND", {});
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) return false;
        const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
        return std::fclose(out) == 0 && written;
    }

private:
    static void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
    }

    static std::uint32_t Crc(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0xFFFFFFFFu) {
        for (std::size_t i = 0; i < size; ++i) {
            crc ^= data[i];
            for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return crc;
    }

    static void Chunk(std::vector<std::uint8_t>& file, const char* type, const std::vector<std::uint8_t>& data) {
        Put32(file, static_cast<std::uint32_t>(data.size()));
        std::vector<std::uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        file.insert(file.end(), body.begin(), body.end());
        Put32(file, Crc(body.data(), body.size()) ^ 0xFFFFFFFFu);
    }
};

}  // namespace qmx::tools
