// Screenshots as PNG: the file decodes, chunk by chunk and row by row, to
// the pixels given, and a picture like a dialog's comes out small.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>

#include "png_writer.h"

namespace qmx::tools {
namespace {

using TBytes = std::vector<std::uint8_t>;

std::uint32_t Get32(const TBytes& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

// A reader of just what a PNG decoder needs here: every chunk's CRC
// checked, IDAT inflated, each row's filter undone (none, sub, up).
bool Decode(const TBytes& file, int& width, int& height, TBytes& rgb) {
    const TBytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || !std::equal(signature.begin(), signature.end(), file.begin())) return false;
    TBytes packed;
    bool ended = false;
    for (std::size_t at = 8; at + 12 <= file.size() && !ended;) {
        const std::uint32_t length = Get32(file, at);
        if (at + 12 + length > file.size()) return false;
        const std::string type(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8);
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, file.data() + at + 4, length + 4));
        if (crc != Get32(file, at + 8 + length)) return false;
        const auto data = file.begin() + static_cast<long>(at) + 8;
        if (type == "IHDR") {
            width = static_cast<int>(Get32(file, at + 8));
            height = static_cast<int>(Get32(file, at + 12));
            if (file[at + 16] != 8 || file[at + 17] != 2) return false;
        } else if (type == "IDAT") {
            packed.insert(packed.end(), data, data + length);
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + length;
    }
    if (!ended || width <= 0 || height <= 0) return false;
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    TBytes rows(static_cast<std::size_t>(height) * (stride + 1));
    uLongf size = static_cast<uLongf>(rows.size());
    if (uncompress(rows.data(), &size, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
        size != rows.size())
        return false;
    rgb.assign(static_cast<std::size_t>(height) * stride, 0);
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        const std::uint8_t filter = rows[y * (stride + 1)];
        const std::uint8_t* in = rows.data() + y * (stride + 1) + 1;
        std::uint8_t* out = rgb.data() + y * stride;
        for (std::size_t x = 0; x < stride; ++x) {
            const std::uint8_t left = x >= 3 ? out[x - 3] : 0;
            const std::uint8_t up = y > 0 ? out[x - stride] : 0;
            if (filter > 2) return false;
            out[x] = static_cast<std::uint8_t>(in[x] + (filter == 1 ? left : filter == 2 ? up : 0));
        }
    }
    return true;
}

// A dialog's look: a grey face, a white list box with a frame, a few
// lines of dark "text", and a gradient caption bar.
TBytes DialogLike(int width, int height) {
    TBytes rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            std::uint8_t r = 212, g = 208, b = 200;
            if (y < 18) r = static_cast<std::uint8_t>(10 + x % 200), g = 36, b = static_cast<std::uint8_t>(106 + x % 100);
            else if (x > 20 && x < width - 20 && y > 40 && y < height - 60) r = g = b = 255;
            if (y > 50 && y < height - 70 && y % 16 < 9 && x > 30 && x < 200 && (x * 7 + y * 3) % 5 < 2)
                r = g = b = 0;
            pixel[0] = r, pixel[1] = g, pixel[2] = b;
        }
    return rgb;
}

TEST(Png, DecodesToThePixelsGiven) {
    struct TCase {
        const char* Name;
        int Width, Height;
        TBytes Rgb;
    };
    TBytes noise(7 * 5 * 3);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 151 + 7);
    const TCase cases[] = {
        {"one pixel", 1, 1, {0x12, 0x34, 0x56}},
        {"noise, odd sizes", 7, 5, noise},
        {"a dialog", 420, 310, DialogLike(420, 310)},
    };
    for (const auto& c : cases) {
        int width = 0, height = 0;
        TBytes rgb;
        ASSERT_TRUE(Decode(EncodePng(c.Width, c.Height, c.Rgb), width, height, rgb)) << c.Name;
        EXPECT_EQ(width, c.Width) << c.Name;
        EXPECT_EQ(height, c.Height) << c.Name;
        EXPECT_EQ(rgb, c.Rgb) << c.Name;
    }
}

TEST(Png, ADialogComesOutSmallAndWrongSizesComeOutEmpty) {
    const TBytes dialog = DialogLike(420, 310);
    const std::size_t size = EncodePng(420, 310, dialog).size();
    EXPECT_LT(size, dialog.size() / 20) << size << " bytes for " << dialog.size() << " of pixels";
    EXPECT_TRUE(EncodePng(0, 5, {}).empty());
    EXPECT_TRUE(EncodePng(2, 2, TBytes(11)).empty()) << "one byte short";
}

}  // namespace
}  // namespace qmx::tools
