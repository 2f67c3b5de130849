#include "dialog_bitmaps.h"

#include <algorithm>

namespace {

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};

Fixed Abs(Fixed v) { return v < 0 ? -v : v; }

// A glossy disc: darker towards the rim, a soft highlight over the top half.
Colour GlossyDisc(Point p, Point centre, Fixed r, Colour base, Colour below) {
    const Fixed d = Distance(p, centre);
    if (d > r) return below;
    // Lit from the upper left.
    const Fixed light = Distance(p, {centre.x - r * 0.35_fx, centre.y - r * 0.35_fx}) / (r * 1.6_fx);
    Colour c = Mix(Scale(base, 1.15_fx), Scale(base, 0.45_fx), light);
    if (d > r * 0.9_fx) c = Mix(c, Scale(base, 0.3_fx), (d - r * 0.9_fx) / (r * 0.1_fx));
    // Highlight: an ellipse in the upper half, fading downwards.
    const Fixed ex = (p.x - centre.x) / (r * 0.72_fx), ey = (p.y - (centre.y - r * 0.42_fx)) / (r * 0.46_fx);
    const Fixed e = ex * ex + ey * ey;
    if (e < 1) c = Mix(c, kWhite, (1 - e) * 0.25_fx + Clamp01((centre.y - p.y) / r) * 0.35_fx);
    return c;
}

// The face of a 5-pin XLR female socket: a metal ring, a dark insert with
// five contact holes on a circle and the latch slot at the top.
Colour XlrSocket(Point p, Point centre, Fixed r, Colour metal, Colour insert, Colour below) {
    const Fixed d = Distance(p, centre);
    if (d > r) return below;
    const Fixed shade = Clamp01(((p.x - centre.x) + (p.y - centre.y)) / (2 * r) + 0.5_fx);
    if (d > r * 0.78_fx) {
        // Ring: bright upper left, dark lower right, a groove in the middle.
        Colour c = Mix(Scale(metal, 1.35_fx), Scale(metal, 0.45_fx), shade);
        if (Abs(d - r * 0.89_fx) < r * 0.025_fx) c = Scale(c, 0.55_fx);
        return c;
    }
    // Latch slot cut into the top of the insert.
    if (Abs(p.x - centre.x) < r * 0.12_fx && p.y < centre.y - r * 0.56_fx) return Scale(metal, 0.25_fx);
    Colour c = Mix(Scale(insert, 1.4_fx), Scale(insert, 0.7_fx), shade);
    if (d > r * 0.74_fx) c = Scale(c, 0.5_fx);  // shadow under the ring
    // Pins 1 to 5 sit on a circle; offsets as fractions of the radius.
    static const Point kPins[5] = {{-0.42_fx, -0.22_fx}, {0.42_fx, -0.22_fx}, {-0.26_fx, 0.36_fx},
                                   {0.26_fx, 0.36_fx},   {0, 0}};
    for (const Point& pin : kPins) {
        const Fixed pd = Distance(p, {centre.x + pin.x * r, centre.y + pin.y * r});
        const Fixed hole = r * 0.1_fx;
        if (pd < hole) return Mix(Colour{8, 8, 8}, Colour{30, 30, 30}, pd / hole);
        if (pd < hole * 1.45_fx) return Mix(Scale(metal, 1.2_fx), Scale(metal, 0.7_fx), shade);
    }
    return c;
}

// An indicator lamp with a soft glow around it.
Colour Lamp(Point p, Point centre, Fixed r, Colour lit, Colour below) {
    const Fixed d = Distance(p, centre);
    if (d < r) {
        const Fixed hot = Distance(p, {centre.x - r * 0.3_fx, centre.y - r * 0.3_fx}) / (r * 1.3_fx);
        Colour c = Mix(Mix(lit, kWhite, 0.75_fx), Scale(lit, 0.6_fx), hot);
        if (d > r * 0.85_fx) c = Scale(c, 0.7_fx);
        return c;
    }
    const Fixed fade = 1 - (d - r) / (r * 1.2_fx);
    if (d < r * 2.2_fx) return Mix(below, lit, 0.35_fx * fade * fade);
    return below;
}

// A square with rounded corners of the given radius.
Colour RoundedSquare(Point p, Point centre, Fixed half, Fixed radius, Colour fill, Colour below) {
    // Distances past the square inset by the radius: where both are positive
    // the point faces a corner, and the edge there is a quarter circle.
    const Fixed qx = Abs(p.x - centre.x) - (half - radius), qy = Abs(p.y - centre.y) - (half - radius);
    const bool inside = qx > 0 && qy > 0 ? qx * qx + qy * qy <= radius * radius : std::max(qx, qy) <= radius;
    return inside ? fill : below;
}

// The dialogs show only the top of their bitmaps (about 100 of 108's rows
// and 180 of 109's under Wine), so the subjects keep clear of the bottom.

// 108: a DMX socket with its indicator lamp above, on black.
Colour DetectionProblemArt(Point p) {
    Colour c = kBlack;
    c = Lamp(p, {32, 14}, 6.5_fx, Colour{40, 230, 70}, c);
    constexpr Colour kSteel{150, 152, 158};
    // Panel flange with two mounting screws on the diagonal.
    const Fixed shade = Clamp01((p.x - 4 + p.y - 33) / 116);
    c = RoundedSquare(p, {32, 62}, 29, 5, Mix(Colour{92, 94, 100}, Colour{36, 37, 40}, shade), c);
    static const Point kScrews[2] = {{8.5_fx, 38.5_fx}, {55.5_fx, 85.5_fx}};
    for (const Point& screw : kScrews) {
        if (Within(p, screw, 3)) c = Within(p, screw, 1.6_fx) ? Colour{14, 14, 14} : Colour{120, 122, 128};
    }
    return XlrSocket(p, {32, 62}, 24, kSteel, Colour{38, 38, 40}, c);
}

// 109: an error badge (grey, red cross) above two copper-red DMX sockets.
Colour DriverErrorArt(Point p) {
    const Point badge{32, 29};
    Colour c = GlossyDisc(p, badge, 25, Colour{150, 150, 155}, kBlack);
    if (Within(p, badge, 25)) {
        const Fixed stroke = std::min(DistanceSquaredToSegment(p, {22.5_fx, 19.5_fx}, {41.5_fx, 38.5_fx}),
                                      DistanceSquaredToSegment(p, {41.5_fx, 19.5_fx}, {22.5_fx, 38.5_fx}));
        if (stroke < 4.2_fx * 4.2_fx) c = Mix(Colour{240, 40, 30}, Colour{150, 0, 0}, Clamp01((p.y - 17) / 24));
    }
    constexpr Colour kCopper{184, 92, 56};
    c = XlrSocket(p, {32, 88}, 24, kCopper, Colour{52, 22, 16}, c);
    c = XlrSocket(p, {32, 144}, 24, kCopper, Colour{52, 22, 16}, c);
    return c;
}

// 132, 133, 134: a round glossy badge with a lowercase i.
Scene InfoBadgeArt(Colour tint) {
    return [tint](Point p) -> Colour {
        const Point centre{24, 24};
        Colour c = GlossyDisc(p, centre, 21.5_fx, tint, kBlack);
        const bool dot = Within(p, {centre.x, 13.5_fx}, 3.3_fx);
        const bool stem = DistanceSquaredToSegment(p, {centre.x, 20}, {centre.x, 34}) < 2.7_fx * 2.7_fx;
        if (dot || stem) c = Mix(kWhite, Colour{225, 225, 225}, Clamp01((p.y - 10) / 26));
        return c;
    };
}

Bytes EncodeBmp(const Image& image) {
    const std::uint32_t imageSize = BitmapRowStride(image.width, 24) * image.height;
    Bytes out{'B', 'M'};
    PutLe32(out, 14 + 40 + imageSize);
    PutLe32(out, 0);
    PutLe32(out, 14 + 40);
    PutBitmapInfoHeader(out, image.width, image.height, 24, imageSize, 2835);  // 72 dpi
    PutBitmapPixels(out, image, 3);
    return out;
}

}  // namespace

std::vector<DialogBitmap> DrawDialogBitmaps() {
    struct Artwork {
        const char* fileName;
        int width, height;
        Scene scene;
    };
    const Artwork artwork[] = {
        {"detection_problem.bmp", 64, 128, DetectionProblemArt},
        {"driver_error.bmp", 64, 224, DriverErrorArt},
        {"badge_red.bmp", 48, 48, InfoBadgeArt(Colour{215, 28, 24})},
        {"badge_silver.bmp", 48, 48, InfoBadgeArt(Colour{178, 180, 186})},
        {"badge_olive.bmp", 48, 48, InfoBadgeArt(Colour{196, 176, 36})},
    };
    std::vector<DialogBitmap> bitmaps;
    for (const Artwork& art : artwork) {
        // 4x4 samples a pixel: enough to smooth the edges of 48-pixel badges.
        bitmaps.push_back({art.fileName, EncodeBmp(Render(art.width, art.height, 4, art.scene))});
    }
    return bitmaps;
}
