// The rasteriser both drawings share: a scene says what colour lies under a
// point, and supersampling turns it into antialiased pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "fixed_point.h"

struct Point {
    Fixed x, y;
};

struct Colour {
    Fixed r, g, b;
};

Fixed Clamp01(Fixed v);
// From a to b as t goes from 0 to 1; t is clamped to that range.
Colour Mix(Colour a, Colour b, Fixed t);
Colour Scale(Colour c, Fixed k);

Fixed DistanceSquared(Point a, Point b);
Fixed Distance(Point a, Point b);
bool Within(Point p, Point centre, Fixed radius);
Fixed DistanceSquaredToSegment(Point p, Point a, Point b);
bool InsidePolygon(const std::vector<Point>& polygon, Point p);

// The colour at a point, in pixels from the image's top left corner; nothing
// where the scene is transparent.
using Scene = std::function<std::optional<Colour>(Point)>;

// Straight (not premultiplied) RGBA, a byte a channel, rows top to bottom.
struct Image {
    int width, height;
    std::vector<std::uint8_t> rgba;
};

// Each pixel is samplesPerAxis^2 samples: its colour the mean of the samples
// the scene paints, its alpha the share of samples painted.
Image Render(int width, int height, int samplesPerAxis, const Scene& scene);
