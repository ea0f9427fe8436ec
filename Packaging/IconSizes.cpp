// Usage: icon-sizes SOURCE.png THEME-DIR NAME SIZE...
// Writes SOURCE scaled to each SIZE as THEME-DIR/<SIZE>x<SIZE>/apps/NAME.png, the icon theme's layout.
// Run at build time on the program's own icon, so no picture of it is kept in the source tree.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <cairo.h>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fputs("usage: icon-sizes SOURCE.png THEME-DIR NAME SIZE...\n", stderr);
        return 2;
    }
    cairo_surface_t* source = cairo_image_surface_create_from_png(argv[1]);
    if (cairo_surface_status(source) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "icon-sizes: %s: %s\n", argv[1], cairo_status_to_string(cairo_surface_status(source)));
        return 1;
    }
    const int width = cairo_image_surface_get_width(source), height = cairo_image_surface_get_height(source);
    int status = 0;
    for (int i = 4; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (*end != '\0' || size < 1 || size > width || size > height) {
            std::fprintf(stderr, "icon-sizes: bad size '%s' for a %d x %d picture\n", argv[i], width, height);
            status = 2;
            continue;
        }
        const std::string edge = std::to_string(size);
        const std::filesystem::path dir = std::filesystem::path(argv[2]) / (edge + "x" + edge) / "apps";
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(size), int(size));
        cairo_t* cr = cairo_create(out);
        cairo_scale(cr, double(size) / width, double(size) / height);
        cairo_set_source_surface(cr, source, 0, 0);
        // GOOD averages every source pixel under a target pixel when shrinking, so the small sizes keep
        // their colours instead of picking scattered samples.
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint(cr);
        cairo_destroy(cr);
        const std::string file = (dir / (std::string(argv[3]) + ".png")).string();
        if (ec || cairo_surface_write_to_png(out, file.c_str()) != CAIRO_STATUS_SUCCESS) {
            std::fprintf(stderr, "icon-sizes: writing %s failed\n", file.c_str());
            status = 1;
        }
        cairo_surface_destroy(out);
    }
    cairo_surface_destroy(source);
    return status;
}
