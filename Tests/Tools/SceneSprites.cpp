// scene-sprites: renders one request and prints the identity text of every sprite, one a line, in order.
// A tool for looking at what a painter appends; built with the tests, never installed.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "Pipeline/Render.h"
#include "Scene/SceneKind.h"

namespace {

int usage(const char* why) {
    if (why) std::fprintf(stderr, "scene-sprites: %s\n", why);
    std::fputs("usage: scene-sprites --scene KIND [--night] [--size WxH] [--scale S] [--icons FILE]\n"
               "  KIND: archipelago canyon orbit city skyline winter reef warzone sea pond\n"
               "  FILE: one \"x y\" icon centre per line, in points (icon size 64, text size 12)\n",
               stderr);
    return 2;
}

std::optional<double> number(std::string_view text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    SceneSpec spec;
    spec.size = {1440, 900};
    spec.scale = 1;
    spec.iconSize = 64;
    spec.textSize = 12;
    bool haveScene = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--night") {
            spec.night = true;
        } else if (arg == "--scene" && hasValue) {
            const auto kind = scene_kind::fromRawValue(argv[++i]);
            if (!kind) return usage("unknown scene");
            spec.kind = *kind;
            haveScene = true;
        } else if (arg == "--size" && hasValue) {
            const std::string_view v = argv[++i];
            const auto x = v.find('x');
            if (x == std::string_view::npos) return usage("size must be WxH");
            const auto w = number(v.substr(0, x)), h = number(v.substr(x + 1));
            if (!w || !h || !(*w > 0) || !(*h > 0)) return usage("size must be two positive numbers");
            spec.size = {*w, *h};
        } else if (arg == "--scale" && hasValue) {
            const auto s = number(argv[++i]);
            if (!s || !(*s > 0)) return usage("scale must be a positive number");
            spec.scale = *s;
        } else if (arg == "--icons" && hasValue) {
            std::ifstream in(argv[++i]);
            if (!in) return usage("cannot read the icons file");
            std::string line;
            while (std::getline(in, line)) {
                std::istringstream words(line);
                double x = 0, y = 0;
                if (words >> x >> y) spec.icons.push_back({x, y});
                else if (line.find_first_not_of(" \t\r") != std::string::npos) return usage("bad line in the icons file");
            }
        } else {
            return usage("bad argument");
        }
    }
    if (!haveScene) return usage("--scene is required");
    const auto scene = Renderer::render(spec, {});
    if (!scene) {
        std::fputs("scene-sprites: the request gives no picture\n", stderr);
        return 1;
    }
    for (const Sprite& sp : scene->sprites) std::printf("%s\n", sp.identity().c_str());
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
