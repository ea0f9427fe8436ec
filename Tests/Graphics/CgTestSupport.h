#pragma once
// Pixel helpers for the drawing layer's tests.

#include "Platform/Graphics/Context.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace cgtest {

struct Px {
    int a, r, g, b;  // premultiplied, 0–255
};

inline Px unpack(uint32_t v) {
    return {int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
}

// Pixel at column x of memory row y (row 0 at the top).
inline Px at(const cg::Context& c, int x, int y) { return unpack(c.pixel(x, y)); }

// Pixel at column x, row y counted from the bottom (drawing space in pixels).
inline Px up(const cg::Context& c, int x, int y) { return at(c, x, c.pixelHeight() - 1 - y); }

inline std::unique_ptr<cg::Context> bitmap(int w, int h, double scale = 1) {
    return cg::Context::makeBitmap(w, h, scale);
}

inline std::filesystem::path outDir() {
    const char* env = std::getenv("VM_TEST_OUT");
    std::filesystem::path dir = env && *env ? std::filesystem::path(env) : std::filesystem::temp_directory_path() / "vistamere-test-out";
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace cgtest
