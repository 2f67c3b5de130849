// Draws the installer's icon: a cardboard box with a blue arrow pointing into
// it, antialiased on a transparent background, at the seven sizes of the
// icon group, and writes them as one .ico file. The 256-pixel image is a PNG,
// the others 32-bit bitmaps with their AND mask, as Windows expects.
//
//   draw_icon OUTPUT.ico
#include <algorithm>
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

// Writes deflate's bit stream: values least significant bit first, Huffman
// codes most significant bit first.
class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void Bits(uint32_t value, int count) {
        accumulator_ |= value << used_;
        used_ += count;
        while (used_ >= 8) {
            out_.push_back(accumulator_ & 0xFF);
            accumulator_ >>= 8;
            used_ -= 8;
        }
    }
    void Code(uint32_t code, int length) {
        uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
        Bits(reversed, length);
    }
    void Flush() {
        if (used_ > 0) out_.push_back(accumulator_ & 0xFF);
        accumulator_ = 0;
        used_ = 0;
    }

private:
    Bytes& out_;
    uint32_t accumulator_ = 0;
    int used_ = 0;
};

// Deflate's fixed literal/length code.
void PutLiteralOrLength(BitWriter& bits, int symbol) {
    if (symbol < 144) bits.Code(0x30 + symbol, 8);
    else if (symbol < 256) bits.Code(0x190 + symbol - 144, 9);
    else if (symbol < 280) bits.Code(symbol - 256, 7);
    else bits.Code(0xC0 + symbol - 280, 8);
}

void PutMatch(BitWriter& bits, int length, int distance) {
    static const int kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int kDistanceBase[] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const int kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int l = 28;
    while (kLengthBase[l] > length) --l;
    PutLiteralOrLength(bits, 257 + l);
    bits.Bits(static_cast<uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    int d = 29;
    while (kDistanceBase[d] > distance) --d;
    bits.Code(static_cast<uint32_t>(d), 5);
    bits.Bits(static_cast<uint32_t>(distance - kDistanceBase[d]), kDistanceExtra[d]);
}

// A zlib stream of one deflate block with the fixed codes, matches found
// through hash chains over the 32 KiB window. Deterministic, so the icon
// file is the same on every run.
Bytes ZlibCompress(const Bytes& raw) {
    constexpr int kWindow = 32768, kMinMatch = 3, kMaxMatch = 258, kMaxChain = 128;
    constexpr int kHashSize = 1 << 15;
    Bytes out{0x78, 0x01};
    BitWriter bits(out);
    bits.Bits(1, 1);  // final block
    bits.Bits(1, 2);  // fixed Huffman codes
    std::vector<int> head(kHashSize, -1), previous(raw.size(), -1);
    auto hash = [&](size_t i) { return ((raw[i] << 10) ^ (raw[i + 1] << 5) ^ raw[i + 2]) & (kHashSize - 1); };
    auto insert = [&](size_t i) {
        if (i + kMinMatch > raw.size()) return;
        const int h = hash(i);
        previous[i] = head[h];
        head[h] = static_cast<int>(i);
    };
    size_t i = 0;
    while (i < raw.size()) {
        int bestLength = 0, bestDistance = 0;
        if (i + kMinMatch <= raw.size()) {
            const int limit = static_cast<int>(std::min<size_t>(kMaxMatch, raw.size() - i));
            int chain = kMaxChain;
            for (int candidate = head[hash(i)]; candidate >= 0 && chain-- > 0; candidate = previous[candidate]) {
                const int distance = static_cast<int>(i) - candidate;
                if (distance > kWindow) break;
                int length = 0;
                while (length < limit && raw[candidate + length] == raw[i + length]) ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = distance;
                    if (length == limit) break;
                }
            }
        }
        if (bestLength >= kMinMatch) {
            PutMatch(bits, bestLength, bestDistance);
            for (int k = 0; k < bestLength; ++k) insert(i + k);
            i += bestLength;
        } else {
            PutLiteralOrLength(bits, raw[i]);
            insert(i);
            ++i;
        }
    }
    PutLiteralOrLength(bits, 256);  // end of block
    bits.Flush();
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
    // Each row as its difference from the pixel to the left ("Sub" filter):
    // smooth shading then repeats and compresses well.
    Bytes raw;
    const size_t stride = static_cast<size_t>(size) * 4;
    for (int y = 0; y < size; ++y) {
        raw.push_back(1);
        const uint8_t* row = &rgba[y * stride];
        for (size_t x = 0; x < stride; ++x) raw.push_back(static_cast<uint8_t>(row[x] - (x >= 4 ? row[x - 4] : 0)));
    }
    PutChunk(png, "IDAT", ZlibCompress(raw));
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
