#include "installer_icon.h"

#include <zlib.h>

#include <cstdlib>

namespace {

struct Shape {
    std::vector<Point> outline;  // in hundredths of the icon's side, from its top left corner
    Colour fill;
    Colour edge;
};

std::vector<Shape> Artwork() {
    const Colour edge{92, 56, 22};
    const Colour arrowEdge{16, 52, 120};
    return {
        // Left, right and top faces of the box.
        {{{8, 46}, {50, 60}, {50, 96}, {8, 80}}, {214, 160, 96}, edge},
        {{{50, 60}, {92, 46}, {92, 80}, {50, 96}}, {178, 122, 62}, edge},
        {{{50, 32}, {92, 46}, {50, 60}, {8, 46}}, {240, 200, 142}, edge},
        // Parcel tape across the top.
        {{{27, 39}, {33, 37}, {75, 51}, {69, 53}}, {250, 236, 200}, {200, 170, 120}},
        // The arrow.
        {{{40, 3}, {60, 3}, {60, 30}, {77, 30}, {50, 60}, {23, 30}, {40, 30}}, {46, 128, 232}, arrowEdge},
    };
}

bool NearOutline(const std::vector<Point>& outline, Point p, Fixed halfWidth) {
    for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
        if (DistanceSquaredToSegment(p, outline[j], outline[i]) < halfWidth * halfWidth) return true;
    }
    return false;
}

// Later shapes lie on top; each one's edge is a line 2.2% of the side wide,
// centred on its outline.
Scene IconScene(int size) {
    std::vector<Shape> shapes = Artwork();
    for (Shape& shape : shapes) {
        for (Point& v : shape.outline) v = {v.x * size / 100, v.y * size / 100};
    }
    const Fixed halfEdge = Fixed::Ratio(11 * size, 1000);
    return [shapes, halfEdge](Point p) {
        std::optional<Colour> hit;
        for (const Shape& shape : shapes) {
            if (NearOutline(shape.outline, p, halfEdge)) hit = shape.edge;
            else if (InsidePolygon(shape.outline, p)) hit = shape.fill;
        }
        return hit;
    };
}

void PutBe32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((v >> shift) & 0xFF);
}

void PutChunk(Bytes& png, const char* type, const Bytes& body) {
    PutBe32(png, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    PutBe32(png, crc32(0, &png[start], static_cast<uInt>(png.size() - start)));
}

Bytes EncodePng(const Image& image) {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBe32(header, image.width);
    PutBe32(header, image.height);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, filter method 0, no interlace
    PutChunk(png, "IHDR", header);
    // Rows unfiltered (filter type 0): the flat colours repeat as they are,
    // and deflate finds them better so than after any of PNG's filters
    // (3.6 KB against 4.4 KB or more).
    Bytes rows;
    const std::size_t stride = static_cast<std::size_t>(image.width) * 4;
    for (int y = 0; y < image.height; ++y) {
        rows.push_back(0);
        rows.insert(rows.end(), image.rgba.begin() + y * stride, image.rgba.begin() + (y + 1) * stride);
    }
    Bytes compressed(compressBound(rows.size()));
    uLongf length = compressed.size();
    // With a buffer of compressBound's size, only a lack of memory fails.
    if (compress2(compressed.data(), &length, rows.data(), rows.size(), Z_BEST_COMPRESSION) != Z_OK) std::abort();
    compressed.resize(length);
    PutChunk(png, "IDAT", compressed);
    PutChunk(png, "IEND", {});
    return png;
}

// A BITMAPINFOHEADER of twice the height (the colour rows, then the mask's),
// BGRA rows bottom up, then the AND mask: set where the pixel is transparent.
Bytes EncodeIconBitmap(const Image& image) {
    const std::uint32_t maskStride = BitmapRowStride(image.width, 1);
    Bytes bmp;
    PutBitmapInfoHeader(bmp, image.width, image.height * 2, 32,
                        BitmapRowStride(image.width, 32) * image.height + maskStride * image.height, 0);
    PutBitmapPixels(bmp, image, 4);
    for (int y = image.height - 1; y >= 0; --y) {
        Bytes row(maskStride, 0);
        for (int x = 0; x < image.width; ++x) {
            if (image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4 + 3] == 0) row[x / 8] |= 0x80 >> (x % 8);
        }
        bmp.insert(bmp.end(), row.begin(), row.end());
    }
    return bmp;
}

}  // namespace

// 8x8 samples a pixel: the 16-pixel image still shows the box's edges.
Image DrawIcon(int size) { return Render(size, size, 8, IconScene(size)); }

Bytes EncodeIcon() {
    std::vector<Bytes> images;
    for (int size : kIconSizes) {
        const Image image = DrawIcon(size);
        images.push_back(size == 256 ? EncodePng(image) : EncodeIconBitmap(image));
    }

    Bytes ico;
    PutLe16(ico, 0);
    PutLe16(ico, 1);  // icon
    PutLe16(ico, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::uint8_t side = kIconSizes[i] == 256 ? 0 : kIconSizes[i];  // 0 stands for 256
        ico.insert(ico.end(), {side, side, 0, 0});  // no palette, reserved
        PutLe16(ico, 1);   // planes
        PutLe16(ico, 32);  // bits per pixel
        PutLe32(ico, static_cast<std::uint32_t>(images[i].size()));
        PutLe32(ico, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) ico.insert(ico.end(), image.begin(), image.end());
    return ico;
}
