// The committed icon holds what the art tool draws, in the form Windows takes
// for an application's icon. Pixels are compared, not bytes: the PNG's
// compressed bytes depend on zlib's version.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "installer_icon.h"

namespace {

// Reads past the end throw, and the test fails on the exception.
std::uint32_t Le16(const Bytes& b, std::size_t at) { return b.at(at) | std::uint32_t{b.at(at + 1)} << 8; }
std::uint32_t Le32(const Bytes& b, std::size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }
std::uint32_t Be32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b.at(at)} << 24 | b.at(at + 1) << 16 | b.at(at + 2) << 8 | b.at(at + 3);
}

struct IconImage {
    int side;  // from the directory, where 0 stands for 256
    int bitCount;
    bool png;
    std::string problem;  // why the image does not decode; empty when it does
    Image pixels;
};

std::uint8_t Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
}

std::string DecodePng(const Bytes& png, Image& image) {
    const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!std::equal(signature.begin(), signature.end(), png.begin())) return "no PNG signature";
    Bytes compressed;
    for (std::size_t at = 8; at < png.size();) {
        const std::uint32_t length = Be32(png, at);
        const std::uint32_t crc = Be32(png, at + 8 + length);  // throws before the chunk is read past the end
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        if (crc != crc32(0, &png[at + 4], length + 4)) return type + "'s CRC is wrong";
        if (type == "IHDR") {
            image.width = Be32(png, at + 8);
            image.height = Be32(png, at + 12);
            // Bit depth, colour type, compression, filter method, interlace.
            const Bytes format{png.at(at + 16), png.at(at + 17), png.at(at + 18), png.at(at + 19), png.at(at + 20)};
            if (format != Bytes{8, 6, 0, 0, 0}) return "not 8-bit RGBA, non-interlaced";
        } else if (type == "IDAT") {
            compressed.insert(compressed.end(), png.begin() + at + 8, png.begin() + at + 8 + length);
        }
        at += 12 + length;
    }
    const std::size_t stride = static_cast<std::size_t>(image.width) * 4;
    Bytes filtered(image.height * (stride + 1));
    uLongf length = filtered.size();
    const int inflated = uncompress(filtered.data(), &length, compressed.data(), compressed.size());
    if (inflated != Z_OK || length != filtered.size()) return "the image data does not inflate to its rows";
    image.rgba.assign(image.height * stride, 0);
    for (std::size_t y = 0; y < static_cast<std::size_t>(image.height); ++y) {
        const std::uint8_t filter = filtered[y * (stride + 1)];
        if (filter > 4) return "unknown row filter";
        const std::uint8_t* in = &filtered[y * (stride + 1) + 1];
        std::uint8_t* row = &image.rgba[y * stride];
        const std::uint8_t* above = y > 0 ? row - stride : nullptr;
        for (std::size_t x = 0; x < stride; ++x) {
            const int a = x >= 4 ? row[x - 4] : 0, b = above ? above[x] : 0, c = above && x >= 4 ? above[x - 4] : 0;
            const int predictions[] = {0, a, b, (a + b) / 2, Paeth(a, b, c)};
            row[x] = static_cast<std::uint8_t>(in[x] + predictions[filter]);
        }
    }
    return "";
}

// BITMAPINFOHEADER, BGRA rows bottom up, then the AND mask's rows.
std::string DecodeIconBitmap(const Bytes& bmp, Image& image) {
    image.width = Le32(bmp, 4);
    image.height = Le32(bmp, 8) / 2;
    if (Le32(bmp, 0) != 40 || Le16(bmp, 14) != 32 || Le32(bmp, 16) != 0) return "not a 32-bit uncompressed bitmap";
    const std::size_t maskStart = 40 + static_cast<std::size_t>(image.width) * image.height * 4;
    const std::size_t maskStride = BitmapRowStride(image.width, 1);
    image.rgba.assign(static_cast<std::size_t>(image.width) * image.height * 4, 0);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::size_t from = 40 + (static_cast<std::size_t>(image.height - 1 - y) * image.width + x) * 4;
            std::uint8_t* to = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
            to[0] = bmp.at(from + 2);
            to[1] = bmp.at(from + 1);
            to[2] = bmp.at(from);
            to[3] = bmp.at(from + 3);
            const bool masked = bmp.at(maskStart + (image.height - 1 - y) * maskStride + x / 8) & (0x80 >> (x % 8));
            if (masked != (to[3] == 0)) return "the AND mask is not set exactly where the pixels are transparent";
        }
    }
    return "";
}

std::vector<IconImage> ReadCommittedIcon() {
    Bytes ico;
    EXPECT_TRUE(ReadFileBytes(COMMITTED_ICON, ico)) << COMMITTED_ICON;
    EXPECT_EQ(Le16(ico, 0), 0u);
    EXPECT_EQ(Le16(ico, 2), 1u) << "not an icon";
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < Le16(ico, 4); ++i) {
        const std::size_t entry = 6 + 16 * i;
        IconImage image{};
        image.side = ico.at(entry) == 0 ? 256 : ico.at(entry);
        image.bitCount = Le16(ico, entry + 6);
        const std::size_t offset = Le32(ico, entry + 12), size = Le32(ico, entry + 8);
        ico.at(offset + size - 1);  // throws when the image runs past the file's end
        const Bytes data(ico.begin() + offset, ico.begin() + offset + size);
        image.png = data.size() >= 8 && Be32(data, 0) == 0x89504E47;
        image.problem = image.png ? DecodePng(data, image.pixels) : DecodeIconBitmap(data, image.pixels);
        images.push_back(image);
    }
    return images;
}

TEST(icon, HoldsTheSevenImagesWindowsPicksFrom) {
    const std::vector<IconImage> images = ReadCommittedIcon();
    std::vector<int> sides;
    for (const IconImage& image : images) {
        SCOPED_TRACE(image.side);
        sides.push_back(image.side);
        EXPECT_EQ(image.bitCount, 32);
        EXPECT_EQ(image.png, image.side == 256);
        EXPECT_EQ(image.problem, "");
        EXPECT_EQ(image.pixels.width, image.side);
        EXPECT_EQ(image.pixels.height, image.side);
    }
    EXPECT_EQ(sides, (std::vector<int>{256, 128, 64, 48, 32, 24, 16}));
}

TEST(icon, CommittedIconIsWhatTheToolDraws) {
    for (const IconImage& image : ReadCommittedIcon()) {
        SCOPED_TRACE(image.side);
        ASSERT_EQ(image.problem, "");
        const Image drawn = DrawIcon(image.side);
        ASSERT_EQ(image.pixels.rgba.size(), drawn.rgba.size());
        int differing = 0;
        for (std::size_t i = 0; i < drawn.rgba.size(); i += 4) {
            differing += !std::equal(drawn.rgba.begin() + i, drawn.rgba.begin() + i + 4, image.pixels.rgba.begin() + i);
        }
        EXPECT_EQ(differing, 0) << "pixels differ from what the tool draws; regenerate with zmk_artwork icon";
    }
}

}  // namespace
