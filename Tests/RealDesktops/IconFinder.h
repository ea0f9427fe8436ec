#pragma once
// Finds desktop icons in a screenshot from its pixels alone: whatever differs from the plain background
// forms regions; a region just below another and under its middle is that icon's label.

#include <cstdint>
#include <string>
#include <vector>

namespace shots {

// 0xRRGGBB per pixel, row by row.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Half-open pixel box.
struct Box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
    double centreX() const { return (x0 + x1) / 2.0; }
    double centreY() const { return (y0 + y1) / 2.0; }
};

struct FoundIcon {
    Box icon;   // the picture
    Box whole;  // the picture with its label
};

struct Options {
    int tolerance = 24;     // the largest channel difference still counted as background
    int join = 4;           // pixels on one row this close belong to one region (the letters of a name)
    int labelGap = 10;      // the most rows between an icon (or its label's line) and its next line
    int minArea = 20;       // regions with fewer pixels are noise
    int minIconSide = 16;   // an icon is at least this wide and tall
    double maxWidth = 0.3;  // regions wider than this share of the screen are panels, not icons
};

// The colour most pixels have.
uint32_t dominantColour(const Image& image);

bool differs(uint32_t a, uint32_t b, int tolerance);

// Icons top to bottom, then left to right; `background` is usually `dominantColour(image)`.
std::vector<FoundIcon> findIcons(const Image& image, uint32_t background, const Options& options = {});

// The share of the icon's own pixels in `alone` (those differing from the background) that `shown`
// has nearly the same, in [0, 1]; 0 for an icon without pixels or a picture of another size.
double keptShare(const Image& alone, const Image& shown, const FoundIcon& icon, uint32_t background,
                 const Options& options = {});

struct Point {
    double x = 0, y = 0;
};

// Pairs every found icon with its nearest centre. Returns one line per icon, with "ok" or "FAIL"; `ok` is
// false when an icon has no centre within `radius`, when a centre has no icon within it, or when the counts
// differ.
std::vector<std::string> matchCentres(const std::vector<FoundIcon>& icons, const std::vector<Point>& centres,
                                      double radius, bool& ok);

// "x,y x,y ..." (as traced by the program) into points; a malformed item is skipped.
std::vector<Point> parseCentres(const std::string& text);

}  // namespace shots
