#include "raster.h"

#include <algorithm>

Fixed Clamp01(Fixed v) { return std::clamp(v, Fixed(0), Fixed(1)); }

Colour Mix(Colour a, Colour b, Fixed t) {
    t = Clamp01(t);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour Scale(Colour c, Fixed k) { return {c.r * k, c.g * k, c.b * k}; }

Fixed DistanceSquared(Point a, Point b) {
    const Fixed dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy;
}

Fixed Distance(Point a, Point b) { return SquareRoot(DistanceSquared(a, b)); }

bool Within(Point p, Point centre, Fixed radius) { return DistanceSquared(p, centre) < radius * radius; }

Fixed DistanceSquaredToSegment(Point p, Point a, Point b) {
    const Fixed dx = b.x - a.x, dy = b.y - a.y;
    const Fixed t = Clamp01(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy));
    return DistanceSquared(p, {a.x + t * dx, a.y + t * dy});
}

// Even-odd rule: a ray to the right crosses the outline an odd number of times.
bool InsidePolygon(const std::vector<Point>& polygon, Point p) {
    bool inside = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point a = polygon[i], b = polygon[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}

namespace {

// The mean of `count` values whose raw sum is given, to the nearest byte
// level, halves up.
std::uint8_t MeanLevel(std::int64_t rawSum, std::int64_t count) {
    if (rawSum <= 0) return 0;
    const std::int64_t level = (2 * rawSum + count * Fixed::kOne) / (2 * count * Fixed::kOne);
    return static_cast<std::uint8_t>(std::min<std::int64_t>(level, 255));
}

}  // namespace

Image Render(int width, int height, int samplesPerAxis, const Scene& scene) {
    Image image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    const int twiceSamples = 2 * samplesPerAxis;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::int64_t r = 0, g = 0, b = 0;
            int painted = 0;
            for (int sy = 0; sy < samplesPerAxis; ++sy) {
                for (int sx = 0; sx < samplesPerAxis; ++sx) {
                    // Sample centres, exact in Fixed for any power-of-two count.
                    const Point p{Fixed::Ratio(twiceSamples * x + 2 * sx + 1, twiceSamples),
                                  Fixed::Ratio(twiceSamples * y + 2 * sy + 1, twiceSamples)};
                    const std::optional<Colour> c = scene(p);
                    if (!c) continue;
                    r += c->r.Raw();
                    g += c->g.Raw();
                    b += c->b.Raw();
                    ++painted;
                }
            }
            if (painted == 0) continue;
            std::uint8_t* out = &image.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            out[0] = MeanLevel(r, painted);
            out[1] = MeanLevel(g, painted);
            out[2] = MeanLevel(b, painted);
            out[3] = MeanLevel(Fixed(255).Raw() * painted, samplesPerAxis * samplesPerAxis);
        }
    }
    return image;
}
