// Prints the centres of the icons an icon manager drew on a plain background, found on a screenshot: the
// regions of other colours about as tall as an icon and no wider than one (labels are wide and low).
// Usage: icon-spots SCREENSHOT.png ICON-SIZE
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "Platform/Graphics/Image.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: icon-spots SCREENSHOT.png ICON-SIZE\n");
        return 2;
    }
    const cg::ImageRef image = cg::Image::readPNG(argv[1]);
    const double icon = std::atof(argv[2]);
    if (!image || !(icon > 0)) {
        std::fprintf(stderr, "icon-spots: cannot read %s\n", argv[1]);
        return 1;
    }
    const int w = image->pixelWidth(), h = image->pixelHeight();
    const uint32_t* px = image->data();
    // The background is the colour most pixels have.
    std::map<uint32_t, size_t> counts;
    for (size_t i = 0; i < size_t(w) * size_t(h); i += 7) ++counts[px[i] & 0xFFFFFFu];
    uint32_t background = 0;
    size_t most = 0;
    for (const auto& [colour, n] : counts)
        if (n > most) most = n, background = colour;

    // Regions of other colours; pixels up to two apart belong together (an icon's artwork has gaps).
    std::vector<char> seen(size_t(w) * size_t(h), 0);
    auto other = [&](int x, int y) { return (px[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFFu) != background; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (seen[size_t(y) * size_t(w) + size_t(x)] || !other(x, y)) continue;
            int x0 = x, x1 = x, y0 = y, y1 = y;
            std::vector<std::pair<int, int>> stack{{x, y}};
            seen[size_t(y) * size_t(w) + size_t(x)] = 1;
            while (!stack.empty()) {
                const auto [cx, cy] = stack.back();
                stack.pop_back();
                x0 = std::min(x0, cx), x1 = std::max(x1, cx), y0 = std::min(y0, cy), y1 = std::max(y1, cy);
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx) {
                        const int nx = cx + dx, ny = cy + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                        const size_t k = size_t(ny) * size_t(w) + size_t(nx);
                        if (seen[k] || !other(nx, ny)) continue;
                        seen[k] = 1;
                        stack.push_back({nx, ny});
                    }
            }
            const int bw = x1 - x0 + 1, bh = y1 - y0 + 1;
            if (bh >= 0.55 * icon && bh <= 1.1 * icon && bw >= 0.4 * icon && bw <= 1.1 * icon)
                std::printf("%g %g\n", (x0 + x1 + 1) / 2.0, (y0 + y1 + 1) / 2.0);
        }
    return 0;
}
