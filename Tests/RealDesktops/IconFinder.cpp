#include "IconFinder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <sstream>
#include <unordered_map>

namespace shots {

uint32_t dominantColour(const Image& image) {
    std::unordered_map<uint32_t, size_t> counts;
    for (uint32_t p : image.pixels) ++counts[p & 0xffffff];
    uint32_t best = 0;
    size_t most = 0;
    for (const auto& [colour, n] : counts)
        if (n > most || (n == most && colour < best)) {
            best = colour;
            most = n;
        }
    return best;
}

bool differs(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16}) {
        const int d = int((a >> shift) & 0xff) - int((b >> shift) & 0xff);
        if (std::abs(d) > tolerance) return true;
    }
    return false;
}

namespace {

struct Region {
    Box box;
    size_t area = 0;
};

// Union-find over pixel indices.
struct Sets {
    std::vector<int> parent;
    explicit Sets(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    int find(int i) {
        while (parent[size_t(i)] != i) {
            parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
            i = parent[size_t(i)];
        }
        return i;
    }
    void join(int a, int b) {
        a = find(a);
        b = find(b);
        if (a != b) parent[size_t(std::max(a, b))] = std::min(a, b);
    }
};

// Regions of foreground pixels: touching pixels belong together, and so do pixels on one row with at most
// `join` columns between them. Rows are never bridged, so that a label stays apart from its icon.
std::vector<Region> regions(const std::vector<uint8_t>& mask, int w, int h, int join) {
    // Grow the mask sideways by `join` / 2 on each side (rounded up); then label it.
    const int r = (join + 1) / 2;
    std::vector<uint8_t> grown(mask.size());
    for (int y = 0; y < h; ++y) {
        int last = -1000000;
        for (int x = 0; x < w; ++x)
            if (mask[size_t(y) * size_t(w) + size_t(x)]) last = x;
            else if (x - last <= r) grown[size_t(y) * size_t(w) + size_t(x)] = 1;
        last = 1000000;
        for (int x = w - 1; x >= 0; --x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            if (mask[i]) last = x;
            grown[i] = grown[i] || mask[i] || last - x <= r;
        }
    }
    Sets sets(mask.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = y * w + x;
            if (!grown[size_t(i)]) continue;
            if (x > 0 && grown[size_t(i - 1)]) sets.join(i, i - 1);
            if (y > 0) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    if (nx >= 0 && nx < w && grown[size_t(i - w + dx)]) sets.join(i, i - w + dx);
                }
            }
        }
    // Boxes over the original pixels only: the growing only joins them.
    std::unordered_map<int, Region> byRoot;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = y * w + x;
            if (!mask[size_t(i)]) continue;
            Region& reg = byRoot[sets.find(i)];
            if (reg.area == 0) reg.box = {x, y, x + 1, y + 1};
            reg.box = {std::min(reg.box.x0, x), std::min(reg.box.y0, y), std::max(reg.box.x1, x + 1),
                       std::max(reg.box.y1, y + 1)};
            ++reg.area;
        }
    std::vector<Region> out;
    for (const auto& [root, reg] : byRoot) out.push_back(reg);
    std::sort(out.begin(), out.end(), [](const Region& a, const Region& b) {
        return a.box.y0 != b.box.y0 ? a.box.y0 < b.box.y0 : a.box.x0 < b.box.x0;
    });
    return out;
}

}  // namespace

std::vector<FoundIcon> findIcons(const Image& image, uint32_t background, const Options& options) {
    const int w = image.width, h = image.height;
    std::vector<uint8_t> mask(size_t(w) * size_t(h));
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = differs(image.pixels[i], background, options.tolerance);
    std::vector<FoundIcon> icons;
    for (const Region& reg : regions(mask, w, h, options.join)) {
        if (reg.area < size_t(options.minArea) || reg.box.width() > options.maxWidth * w) continue;
        // A line under an icon's middle, close below it (or below its label's last line), is its label.
        FoundIcon* owner = nullptr;
        for (FoundIcon& icon : icons) {
            const double mid = icon.icon.centreX();
            const int gap = reg.box.y0 - icon.whole.y1;
            if (reg.box.x0 <= mid && mid < reg.box.x1 && gap >= 0 && gap <= options.labelGap &&
                (!owner || icon.whole.y1 > owner->whole.y1))
                owner = &icon;
        }
        if (owner) {
            Box& b = owner->whole;
            b = {std::min(b.x0, reg.box.x0), b.y0, std::max(b.x1, reg.box.x1), std::max(b.y1, reg.box.y1)};
            continue;
        }
        if (reg.box.width() < options.minIconSide || reg.box.height() < options.minIconSide) continue;
        icons.push_back({reg.box, reg.box});
    }
    std::sort(icons.begin(), icons.end(), [](const FoundIcon& a, const FoundIcon& b) {
        return a.icon.y0 != b.icon.y0 ? a.icon.y0 < b.icon.y0 : a.icon.x0 < b.icon.x0;
    });
    return icons;
}

double keptShare(const Image& alone, const Image& shown, const FoundIcon& icon, uint32_t background,
                 const Options& options) {
    if (alone.width != shown.width || alone.height != shown.height) return 0;
    size_t own = 0, kept = 0;
    for (int y = icon.icon.y0; y < icon.icon.y1; ++y)
        for (int x = icon.icon.x0; x < icon.icon.x1; ++x) {
            const uint32_t p = alone.at(x, y);
            if (!differs(p, background, options.tolerance)) continue;
            ++own;
            // Edges blend with what lies beneath: twice the tolerance.
            if (!differs(p, shown.at(x, y), 2 * options.tolerance)) ++kept;
        }
    return own ? double(kept) / double(own) : 0;
}

std::vector<std::string> matchCentres(const std::vector<FoundIcon>& icons, const std::vector<Point>& centres,
                                      double radius, bool& ok) {
    std::vector<std::string> lines;
    ok = icons.size() == centres.size() && !icons.empty();
    const auto distance = [](double x, double y, const Point& c) { return std::hypot(x - c.x, y - c.y); };
    for (const FoundIcon& icon : icons) {
        const double x = icon.icon.centreX(), y = icon.icon.centreY();
        const Point* near = nullptr;
        for (const Point& c : centres)
            if (!near || distance(x, y, c) < distance(x, y, *near)) near = &c;
        char line[160];
        if (!near) {
            std::snprintf(line, sizeof line, "FAIL icon at %.1f,%.1f: no centre", x, y);
            ok = false;
        } else {
            const double d = distance(x, y, *near);
            const bool close = d <= radius;
            ok = ok && close;
            std::snprintf(line, sizeof line, "%s icon at %.1f,%.1f: centre %.1f,%.1f, %.1f px away", close ? "ok" : "FAIL",
                          x, y, near->x, near->y, d);
        }
        lines.push_back(line);
    }
    for (const Point& c : centres) {
        const bool found = std::any_of(icons.begin(), icons.end(), [&](const FoundIcon& icon) {
            return distance(icon.icon.centreX(), icon.icon.centreY(), c) <= radius;
        });
        if (found) continue;
        char line[128];
        std::snprintf(line, sizeof line, "FAIL centre %.1f,%.1f: no icon there", c.x, c.y);
        lines.push_back(line);
        ok = false;
    }
    if (icons.size() != centres.size()) {
        char line[96];
        std::snprintf(line, sizeof line, "FAIL %zu icons drawn, %zu centres used", icons.size(), centres.size());
        lines.push_back(line);
    }
    return lines;
}

std::vector<Point> parseCentres(const std::string& text) {
    std::vector<Point> out;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        Point p;
        char comma = 0;
        std::istringstream item(word);
        if (item >> p.x >> comma >> p.y && comma == ',' && item.peek() == std::char_traits<char>::eof())
            out.push_back(p);
    }
    return out;
}

}  // namespace shots
