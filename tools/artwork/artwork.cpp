// Draws the library's dialog bitmaps: 24-bit, uncompressed, bottom-up BMPs.
//
//   zmk_artwork OUTDIR          writes the five bitmaps into OUTDIR
//   zmk_artwork --check DIR     fails unless DIR holds exactly what it draws
//
// Only arithmetic and sqrt are used (both exact under IEEE 754), so the
// output is the same on every machine and the committed files can be checked.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Color {
    double r, g, b;
};

Color Mix(Color a, Color b, double t) {
    if (t < 0) t = 0;
    if (t > 1) t = 1;
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Color Scale(Color c, double k) { return {c.r * k, c.g * k, c.b * k}; }

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

double Distance(double x, double y, double cx, double cy) {
    return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
}

// Distance from (x, y) to the segment (ax, ay)-(bx, by).
double SegmentDistance(double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double t = Clamp01(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy));
    return Distance(x, y, ax + t * dx, ay + t * dy);
}

// A scene paints one sample point onto the colour beneath it.
using Scene = std::function<Color(double x, double y)>;

class Image {
public:
    Image(int width, int height) : width_(width), height_(height), pixels_(width * height) {}

    // 4x4 samples a pixel: enough to smooth the edges of 48-pixel badges.
    void Render(const Scene& scene) {
        constexpr int kSamples = 4;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                Color sum{0, 0, 0};
                for (int sy = 0; sy < kSamples; ++sy) {
                    for (int sx = 0; sx < kSamples; ++sx) {
                        const Color c = scene(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples);
                        sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    }
                }
                pixels_[y * width_ + x] = Scale(sum, 1.0 / (kSamples * kSamples));
            }
        }
    }

    std::vector<std::uint8_t> EncodeBmp() const {
        const std::uint32_t stride = (width_ * 3 + 3) & ~3u;
        const std::uint32_t imageSize = stride * height_;
        std::vector<std::uint8_t> out;
        auto put16 = [&out](std::uint32_t v) {
            out.push_back(v & 0xFF);
            out.push_back((v >> 8) & 0xFF);
        };
        auto put32 = [&put16](std::uint32_t v) {
            put16(v & 0xFFFF);
            put16(v >> 16);
        };
        out.push_back('B');
        out.push_back('M');
        put32(14 + 40 + imageSize);
        put32(0);
        put32(14 + 40);
        put32(40);
        put32(width_);
        put32(height_);  // positive: bottom-up
        put16(1);
        put16(24);
        put32(0);  // BI_RGB
        put32(imageSize);
        put32(2835);  // 72 dpi
        put32(2835);
        put32(0);
        put32(0);
        for (int y = height_ - 1; y >= 0; --y) {
            for (int x = 0; x < width_; ++x) {
                const Color& c = pixels_[y * width_ + x];
                out.push_back(Quantize(c.b));
                out.push_back(Quantize(c.g));
                out.push_back(Quantize(c.r));
            }
            for (std::uint32_t pad = width_ * 3; pad < stride; ++pad) out.push_back(0);
        }
        return out;
    }

private:
    static std::uint8_t Quantize(double v) {
        const double clamped = v < 0 ? 0 : (v > 255 ? 255 : v);
        return static_cast<std::uint8_t>(clamped + 0.5);
    }

    int width_, height_;
    std::vector<Color> pixels_;
};

constexpr Color kBlack{0, 0, 0};
constexpr Color kWhite{255, 255, 255};

// Coverage-free layering: supersampling does the antialiasing.
Color Over(Color below, Color above, double alpha) { return Mix(below, above, alpha); }

// A glossy disc: darker towards the rim, a soft highlight over the top half.
Color GlossyDisc(double x, double y, double cx, double cy, double r, Color base, Color below) {
    const double d = Distance(x, y, cx, cy);
    if (d > r) return below;
    // Lit from the upper left.
    const double light = Distance(x, y, cx - r * 0.35, cy - r * 0.35) / (r * 1.6);
    Color c = Mix(Scale(base, 1.15), Scale(base, 0.45), light);
    if (d > r * 0.9) c = Mix(c, Scale(base, 0.3), (d - r * 0.9) / (r * 0.1));
    // Highlight: an ellipse in the upper half, fading downwards.
    const double ex = (x - cx) / (r * 0.72), ey = (y - (cy - r * 0.42)) / (r * 0.46);
    const double e = ex * ex + ey * ey;
    if (e < 1) c = Over(c, kWhite, (1 - e) * 0.25 + Clamp01((cy - y) / r) * 0.35);
    return c;
}

// The face of a 5-pin XLR female socket: a metal ring, a dark insert with
// five contact holes on a circle and the latch slot at the top.
Color XlrSocket(double x, double y, double cx, double cy, double r, Color metal, Color insert, Color below) {
    const double d = Distance(x, y, cx, cy);
    if (d > r) return below;
    const double shade = Clamp01(((x - cx) + (y - cy)) / (2 * r) + 0.5);
    if (d > r * 0.78) {
        // Ring: bright upper left, dark lower right, a groove in the middle.
        Color c = Mix(Scale(metal, 1.35), Scale(metal, 0.45), shade);
        if (std::fabs(d - r * 0.89) < r * 0.025) c = Scale(c, 0.55);
        return c;
    }
    // Latch slot cut into the top of the insert.
    if (std::fabs(x - cx) < r * 0.12 && y < cy - r * 0.56) return Scale(metal, 0.25);
    Color c = Mix(Scale(insert, 1.4), Scale(insert, 0.7), shade);
    if (d > r * 0.74) c = Scale(c, 0.5);  // shadow under the ring
    // Pins 1 to 5 sit on a circle; offsets as fractions of the radius.
    static const double kPins[5][2] = {{-0.42, -0.22}, {0.42, -0.22}, {-0.26, 0.36}, {0.26, 0.36}, {0.0, 0.0}};
    for (const auto& pin : kPins) {
        const double pd = Distance(x, y, cx + pin[0] * r, cy + pin[1] * r);
        const double hole = r * 0.1;
        if (pd < hole) return Mix(Color{8, 8, 8}, Color{30, 30, 30}, pd / hole);
        if (pd < hole * 1.45) return Mix(Scale(metal, 1.2), Scale(metal, 0.7), shade);
    }
    return c;
}

// An indicator lamp with a soft glow around it.
Color Lamp(double x, double y, double cx, double cy, double r, Color lit, Color below) {
    const double d = Distance(x, y, cx, cy);
    if (d < r) {
        const double hot = Distance(x, y, cx - r * 0.3, cy - r * 0.3) / (r * 1.3);
        Color c = Mix(Mix(lit, kWhite, 0.75), Scale(lit, 0.6), hot);
        if (d > r * 0.85) c = Scale(c, 0.7);
        return c;
    }
    if (d < r * 2.2) return Over(below, lit, 0.35 * (1 - (d - r) / (r * 1.2)) * (1 - (d - r) / (r * 1.2)));
    return below;
}

Color RoundedSquare(double x, double y, double cx, double cy, double half, double radius, Color fill, Color below) {
    const double qx = std::fabs(x - cx) - (half - radius), qy = std::fabs(y - cy) - (half - radius);
    const double ox = qx > 0 ? qx : 0, oy = qy > 0 ? qy : 0;
    const double outside = std::sqrt(ox * ox + oy * oy) + (qx > qy ? (qx < 0 ? qx : 0) : (qy < 0 ? qy : 0));
    return outside <= radius ? fill : below;
}

// The dialogs show only the top of their bitmaps (about 100 of 108's rows
// and 180 of 109's under Wine), so the subjects keep clear of the bottom.

// 108: a DMX socket with its indicator lamp above, on black.
Color DetectionProblemArt(double x, double y) {
    Color c = kBlack;
    c = Lamp(x, y, 32, 14, 6.5, Color{40, 230, 70}, c);
    constexpr Color kSteel{150, 152, 158};
    // Panel flange with two mounting screws on the diagonal.
    const double shade = Clamp01((x - 4 + y - 33) / 116);
    c = RoundedSquare(x, y, 32, 62, 29, 5, Mix(Color{92, 94, 100}, Color{36, 37, 40}, shade), c);
    static const double kScrews[2][2] = {{8.5, 38.5}, {55.5, 85.5}};
    for (const auto& screw : kScrews) {
        const double sd = Distance(x, y, screw[0], screw[1]);
        if (sd < 3) c = sd < 1.6 ? Color{14, 14, 14} : Color{120, 122, 128};
    }
    return XlrSocket(x, y, 32, 62, 24, kSteel, Color{38, 38, 40}, c);
}

// 109: an error badge (grey, red cross) above two copper-red DMX sockets.
Color DriverErrorArt(double x, double y) {
    Color c = kBlack;
    c = GlossyDisc(x, y, 32, 29, 25, Color{150, 150, 155}, c);
    if (Distance(x, y, 32, 29) < 25) {
        const double stroke = std::fmin(SegmentDistance(x, y, 22.5, 19.5, 41.5, 38.5), SegmentDistance(x, y, 41.5, 19.5, 22.5, 38.5));
        if (stroke < 4.2) c = Mix(Color{240, 40, 30}, Color{150, 0, 0}, Clamp01((y - 17) / 24));
    }
    constexpr Color kCopper{184, 92, 56};
    c = XlrSocket(x, y, 32, 88, 24, kCopper, Color{52, 22, 16}, c);
    c = XlrSocket(x, y, 32, 144, 24, kCopper, Color{52, 22, 16}, c);
    return c;
}

// 132, 133, 134: a round glossy badge with a lowercase i.
Scene InfoBadgeArt(Color tint) {
    return [tint](double x, double y) {
        constexpr double cx = 24, cy = 24, r = 21.5;
        Color c = GlossyDisc(x, y, cx, cy, r, tint, kBlack);
        const bool dot = Distance(x, y, cx, 13.5) < 3.3;
        const bool stem = SegmentDistance(x, y, cx, 20, cx, 34) < 2.7;
        if (dot || stem) c = Mix(kWhite, Color{225, 225, 225}, Clamp01((y - 10) / 26));
        return c;
    };
}

struct Artwork {
    const char* fileName;
    int width, height;
    Scene scene;
};

std::vector<Artwork> AllArtwork() {
    return {
        {"detection_problem.bmp", 64, 128, DetectionProblemArt},
        {"driver_error.bmp", 64, 224, DriverErrorArt},
        {"badge_red.bmp", 48, 48, InfoBadgeArt(Color{215, 28, 24})},
        {"badge_silver.bmp", 48, 48, InfoBadgeArt(Color{178, 180, 186})},
        {"badge_olive.bmp", 48, 48, InfoBadgeArt(Color{196, 176, 36})},
    };
}

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::uint8_t buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return true;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (!(argc == 2 || check)) {
        std::fprintf(stderr, "usage: %s OUTDIR | --check DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[argc - 1];
    int failures = 0;
    for (const Artwork& art : AllArtwork()) {
        Image image(art.width, art.height);
        image.Render(art.scene);
        const std::vector<std::uint8_t> bytes = image.EncodeBmp();
        const std::string path = dir + "/" + art.fileName;
        if (check) {
            std::vector<std::uint8_t> committed;
            if (!ReadFile(path, committed) || committed != bytes) {
                std::fprintf(stderr, "%s differs from what the tool draws\n", path.c_str());
                ++failures;
            }
        } else if (!WriteFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
