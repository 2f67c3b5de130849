// The bytes of the files the tool writes and checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster.h"

using Bytes = std::vector<std::uint8_t>;

void PutLe16(Bytes& out, std::uint32_t v);
void PutLe32(Bytes& out, std::uint32_t v);

// BITMAPINFOHEADER of an uncompressed image; a positive height stores the
// rows bottom up.
void PutBitmapInfoHeader(Bytes& out, int width, int height, int bitCount, std::uint32_t imageSize,
                         std::uint32_t pixelsPerMetre);
// The pixels as a bitmap stores them: BGR (3 bytes) or BGRA (4), rows bottom
// up, each padded to a multiple of four bytes.
void PutBitmapPixels(Bytes& out, const Image& image, int bytesPerPixel);
std::uint32_t BitmapRowStride(int width, int bitCount);

bool ReadFileBytes(const std::string& path, Bytes& bytes);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);
