// find-icons: the desktop icons in a screenshot, from its pixels alone.
//   find-icons SHOT.png                          lists the icons (centre of the picture, its size)
//   find-icons --centres "x,y x,y ..." SHOT.png  checks that every icon has a centre within --radius (4) px
//                                                and every centre an icon
//   find-icons --kept ALONE.png SHOWN.png        checks that each icon of ALONE still shows in SHOWN
//                                                (at least --share, 0.6, of its pixels)
// --background RRGGBB names the plain background; by default it is the colour most pixels have. The first
// line says which it is, how many icons there are and how much of the screen is plain background.
#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "IconFinder.h"

namespace {

std::optional<shots::Image> load(const char* path) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "find-icons: cannot read %s: %s\n", path, cairo_status_to_string(cairo_surface_status(s)));
        cairo_surface_destroy(s);
        return std::nullopt;
    }
    cairo_surface_t* rgb = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cairo_image_surface_get_width(s),
                                                      cairo_image_surface_get_height(s));
    cairo_t* cr = cairo_create(rgb);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(rgb);
    shots::Image image;
    image.width = cairo_image_surface_get_width(rgb);
    image.height = cairo_image_surface_get_height(rgb);
    const int stride = cairo_image_surface_get_stride(rgb);
    const unsigned char* data = cairo_image_surface_get_data(rgb);
    image.pixels.resize(size_t(image.width) * size_t(image.height));
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < image.width; ++x) image.pixels[size_t(y) * size_t(image.width) + size_t(x)] = row[x] & 0xffffff;
    }
    cairo_surface_destroy(rgb);
    cairo_surface_destroy(s);
    return image;
}

int usage() {
    std::fprintf(stderr,
                 "usage: find-icons [--background RRGGBB] [--centres LIST [--radius PX]] SHOT.png\n"
                 "       find-icons [--background RRGGBB] --kept [--share S] ALONE.png SHOWN.png\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<uint32_t> background;
    std::optional<std::string> centres;
    double radius = 4, share = 0.6;
    bool kept = false;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--background" && more) background = uint32_t(std::strtoul(argv[++i], nullptr, 16));
        else if (a == "--centres" && more) centres = argv[++i];
        else if (a == "--radius" && more) radius = std::atof(argv[++i]);
        else if (a == "--share" && more) share = std::atof(argv[++i]);
        else if (a == "--kept") kept = true;
        else if (a.starts_with("--")) return usage();
        else files.push_back(argv[i]);
    }
    if (files.size() != (kept ? 2u : 1u)) return usage();
    const auto image = load(files[0]);
    if (!image) return 2;
    const uint32_t bg = background ? *background : shots::dominantColour(*image);
    const auto icons = shots::findIcons(*image, bg);
    size_t plain = 0;
    for (uint32_t p : image->pixels) plain += !shots::differs(p, bg, shots::Options{}.tolerance);
    std::printf("background %06x, %zu icons, %.0f %% plain\n", bg, icons.size(),
                100.0 * double(plain) / double(std::max<size_t>(image->pixels.size(), 1)));
    if (kept) {
        const auto shown = load(files[1]);
        if (!shown) return 2;
        bool ok = !icons.empty();
        for (const auto& icon : icons) {
            const double s = shots::keptShare(*image, *shown, icon, bg);
            ok = ok && s >= share;
            std::printf("%s icon at %.1f,%.1f: %.0f %% of its pixels shown\n", s >= share ? "ok" : "FAIL",
                        icon.icon.centreX(), icon.icon.centreY(), 100 * s);
        }
        std::printf(ok ? "icons kept\n" : "icons hidden\n");
        return ok ? 0 : 1;
    }
    if (centres) {
        bool ok = false;
        for (const auto& line : shots::matchCentres(icons, shots::parseCentres(*centres), radius, ok))
            std::printf("%s\n", line.c_str());
        std::printf(ok ? "centres match\n" : "centres differ\n");
        return ok ? 0 : 1;
    }
    for (const auto& icon : icons)
        std::printf("icon at %.1f,%.1f size %dx%d, with label %d,%d %dx%d\n", icon.icon.centreX(), icon.icon.centreY(),
                    icon.icon.width(), icon.icon.height(), icon.whole.x0, icon.whole.y0, icon.whole.width(),
                    icon.whole.height());
    return icons.empty() ? 1 : 0;
}
