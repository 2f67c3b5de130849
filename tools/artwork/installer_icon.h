// The installer's icon: a cardboard box with a blue arrow pointing into it,
// antialiased on a transparent background.
#pragma once

#include "file_bytes.h"
#include "raster.h"

// The sizes of the icon group, largest first, as Windows picks from them.
inline constexpr int kIconSizes[] = {256, 128, 64, 48, 32, 24, 16};

Image DrawIcon(int size);
// The .ico file: the 256-pixel image as a PNG, the others as 32-bit bitmaps
// with their AND mask.
Bytes EncodeIcon();
