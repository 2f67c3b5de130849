// The library's dialog bitmaps: 24-bit, uncompressed, bottom-up BMP files.
#pragma once

#include <string>
#include <vector>

#include "file_bytes.h"

struct DialogBitmap {
    std::string fileName;
    Bytes file;
};

std::vector<DialogBitmap> DrawDialogBitmaps();
