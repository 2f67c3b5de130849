// Draws the installer's icon: a cardboard box with a blue arrow pointing into
// it, antialiased on a transparent background, at the seven sizes of the
// icon group, and writes them as one .ico file. The 256-pixel image is a PNG,
// the others 32-bit bitmaps with their AND mask, as Windows expects.
//
//   draw_icon OUTPUT.ico
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Point {
    double x, y;
};

struct Colour {
    double r, g, b;
};

struct Shape {
    std::vector<Point> outline;  // in units of the icon's side, origin top left
    Colour fill;
    Colour edge;
};

const double kEdgeWidth = 0.022;

std::vector<Shape> Artwork() {
    const Colour edge{92, 56, 22};
    const Colour arrowEdge{16, 52, 120};
    return {
        // Left, right and top faces of the box.
        {{{0.08, 0.46}, {0.50, 0.60}, {0.50, 0.96}, {0.08, 0.80}}, {214, 160, 96}, edge},
        {{{0.50, 0.60}, {0.92, 0.46}, {0.92, 0.80}, {0.50, 0.96}}, {178, 122, 62}, edge},
        {{{0.50, 0.32}, {0.92, 0.46}, {0.50, 0.60}, {0.08, 0.46}}, {240, 200, 142}, edge},
        // Parcel tape across the top.
        {{{0.27, 0.39}, {0.33, 0.37}, {0.75, 0.51}, {0.69, 0.53}}, {250, 236, 200}, {200, 170, 120}},
        // The arrow.
        {{{0.40, 0.03}, {0.60, 0.03}, {0.60, 0.30}, {0.77, 0.30}, {0.50, 0.60}, {0.23, 0.30}, {0.40, 0.30}},
         {46, 128, 232},
         arrowEdge},
    };
}

bool Inside(const std::vector<Point>& polygon, Point p) {
    bool inside = false;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point a = polygon[i], b = polygon[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}

double DistanceToOutline(const std::vector<Point>& polygon, Point p) {
    double best = 1e9;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point a = polygon[j], b = polygon[i];
        const double dx = b.x - a.x, dy = b.y - a.y;
        double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy);
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        best = std::fmin(best, std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy)));
    }
    return best;
}

// Straight (not premultiplied) RGBA, rows top to bottom.
Bytes Render(int size) {
    const std::vector<Shape> shapes = Artwork();
    const int samples = 8;  // per axis
    Bytes rgba(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Point p{(x + (sx + 0.5) / samples) / size, (y + (sy + 0.5) / samples) / size};
                    const Colour* hit = nullptr;
                    for (const Shape& shape : shapes) {
                        const bool in = Inside(shape.outline, p);
                        const bool onEdge = DistanceToOutline(shape.outline, p) < kEdgeWidth / 2;
                        if (onEdge) hit = &shape.edge;
                        else if (in) hit = &shape.fill;
                    }
                    if (hit == nullptr) continue;
                    r += hit->r;
                    g += hit->g;
                    b += hit->b;
                    a += 1;
                }
            }
            uint8_t* out = &rgba[(static_cast<size_t>(y) * size + x) * 4];
            if (a > 0) {
                out[0] = static_cast<uint8_t>(std::lround(r / a));
                out[1] = static_cast<uint8_t>(std::lround(g / a));
                out[2] = static_cast<uint8_t>(std::lround(b / a));
                out[3] = static_cast<uint8_t>(std::lround(255.0 * a / (samples * samples)));
            }
        }
    }
    return rgba;
}

void PutLe16(Bytes& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void PutLe32(Bytes& out, uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}
void PutBe32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((v >> shift) & 0xFF);
}

uint32_t Crc32(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const Bytes& data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void PutChunk(Bytes& png, const char* type, const Bytes& body) {
    PutBe32(png, static_cast<uint32_t>(body.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    PutBe32(png, Crc32(&png[start], png.size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks: larger than a real
// compressor's output, but simple and exact.
Bytes ZlibStored(const Bytes& raw) {
    Bytes out{0x78, 0x01};
    size_t offset = 0;
    do {
        const size_t length = raw.size() - offset < 65535 ? raw.size() - offset : 65535;
        const bool last = offset + length == raw.size();
        out.push_back(last ? 1 : 0);
        PutLe16(out, static_cast<uint32_t>(length));
        PutLe16(out, static_cast<uint32_t>(~length & 0xFFFF));
        out.insert(out.end(), raw.begin() + offset, raw.begin() + offset + length);
        offset += length;
    } while (offset < raw.size());
    PutBe32(out, Adler32(raw));
    return out;
}

Bytes EncodePng(int size, const Bytes& rgba) {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBe32(header, size);
    PutBe32(header, size);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);
    Bytes raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), rgba.begin() + y * size * 4, rgba.begin() + (y + 1) * size * 4);
    }
    PutChunk(png, "IDAT", ZlibStored(raw));
    PutChunk(png, "IEND", {});
    return png;
}

// BITMAPINFOHEADER with doubled height, BGRA rows bottom up, then the AND mask.
Bytes EncodeBitmap(int size, const Bytes& rgba) {
    const int maskStride = (size + 31) / 32 * 4;
    Bytes bmp;
    PutLe32(bmp, 40);
    PutLe32(bmp, size);
    PutLe32(bmp, size * 2);
    PutLe16(bmp, 1);
    PutLe16(bmp, 32);
    PutLe32(bmp, 0);
    PutLe32(bmp, size * size * 4 + maskStride * size);
    for (int i = 0; i < 4; ++i) PutLe32(bmp, 0);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
            bmp.insert(bmp.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(maskStride, 0);
        for (int x = 0; x < size; ++x) {
            if (rgba[(static_cast<size_t>(y) * size + x) * 4 + 3] == 0) row[x / 8] |= 0x80 >> (x % 8);
        }
        bmp.insert(bmp.end(), row.begin(), row.end());
    }
    return bmp;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
        return 2;
    }
    const int sizes[] = {256, 128, 64, 48, 32, 24, 16};
    std::vector<Bytes> images;
    for (int size : sizes) {
        const Bytes rgba = Render(size);
        images.push_back(size == 256 ? EncodePng(size, rgba) : EncodeBitmap(size, rgba));
    }

    Bytes ico;
    PutLe16(ico, 0);
    PutLe16(ico, 1);  // icon
    PutLe16(ico, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        ico.push_back(sizes[i] == 256 ? 0 : sizes[i]);
        ico.push_back(sizes[i] == 256 ? 0 : sizes[i]);
        ico.push_back(0);  // no palette
        ico.push_back(0);
        PutLe16(ico, 1);   // planes
        PutLe16(ico, 32);  // bits per pixel
        PutLe32(ico, static_cast<uint32_t>(images[i].size()));
        PutLe32(ico, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) ico.insert(ico.end(), image.begin(), image.end());

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(ico.data(), 1, ico.size(), out) == ico.size();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
