#include "file_bytes.h"

#include <cstdio>

void PutLe16(Bytes& out, std::uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void PutLe32(Bytes& out, std::uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

void PutBitmapInfoHeader(Bytes& out, int width, int height, int bitCount, std::uint32_t imageSize,
                         std::uint32_t pixelsPerMetre) {
    PutLe32(out, 40);
    PutLe32(out, width);
    PutLe32(out, height);
    PutLe16(out, 1);  // planes
    PutLe16(out, bitCount);
    PutLe32(out, 0);  // BI_RGB
    PutLe32(out, imageSize);
    PutLe32(out, pixelsPerMetre);
    PutLe32(out, pixelsPerMetre);
    PutLe32(out, 0);  // colours used
    PutLe32(out, 0);  // colours important
}

std::uint32_t BitmapRowStride(int width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

void PutBitmapPixels(Bytes& out, const Image& image, int bytesPerPixel) {
    const std::uint32_t stride = BitmapRowStride(image.width, bytesPerPixel * 8);
    for (int y = image.height - 1; y >= 0; --y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
            const std::uint8_t bgra[] = {p[2], p[1], p[0], p[3]};
            out.insert(out.end(), bgra, bgra + bytesPerPixel);
        }
        out.resize(rowStart + stride, 0);
    }
}

bool ReadFileBytes(const std::string& path, Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::uint8_t buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
