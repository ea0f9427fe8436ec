#pragma once
// Helpers for the sprite layer builder tests: reaching into built animations, real scenes rendered
// once per binary at the self-test size, and contact sheets of layers composited at a few times.

#include "Pipeline/Render.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/Compositor.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Graphics/Context.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>

namespace buildertest {

using LayerRef = std::shared_ptr<ca::Layer>;
inline const std::vector<double> kSheetTimes{0, 0.5, 1, 2, 5};

// The animation under `key` (or child i of a group) as its concrete type; throws when absent.
template <class T>
const T& anim(const ca::Layer& l, const std::string& key) {
    if (auto t = dynamic_cast<const T*>(l.animation(key).get())) return *t;
    throw std::runtime_error("no such animation: " + key);
}
template <class T>
const T& child(const ca::AnimationGroup& g, size_t i) {
    if (auto t = i < g.animations.size() ? dynamic_cast<const T*>(g.animations[i].get()) : nullptr) return *t;
    throw std::runtime_error("no such group member");
}

inline size_t countLayers(const ca::Layer& l) {
    size_t n = 1;
    for (const auto& s : l.sublayers()) n += countLayers(*s);
    return n;
}

inline const RenderedScene& scene(SceneKind kind, bool night) {
    static std::map<std::pair<SceneKind, bool>, RenderedScene> cache;
    auto it = cache.find({kind, night});
    if (it != cache.end()) return it->second;
    SceneSpec spec;
    spec.size = {1710, 1112};  // 3420 × 2224 pixels
    spec.scale = 2;
    spec.kind = kind;
    spec.night = night;
    spec.icons = {{1600, 90}, {1600, 200}, {1600, 310}};
    auto r = Renderer::render(spec, {});
    if (!r) throw std::runtime_error("scene did not render");
    return cache.emplace(std::pair{kind, night}, std::move(*r)).first->second;
}

// One row of a sheet: a built layer over a square of its scene (scene points, y up).
struct SheetRow {
    LayerRef layer;
    cg::Point centre;
    double half = 40;
    cg::ImageRef ground;  // the scene's 2× picture, or none for a plain ground
};

// Composites each row at kSheetTimes (committed at 0) into 150-point cells, writes
// $VM_TEST_OUT/<name>.png, and returns per row how much it changes over time (the mean channel
// difference between its first cell and the later ones).
inline std::vector<double> contactSheet(const std::string& name, const std::vector<SheetRow>& rows) {
    constexpr double cell = 150, scale = 2;
    const size_t cols = kSheetTimes.size();
    auto sheet = cg::Context::makeFrame(cols * cell, rows.size() * cell, scale);
    ca::Compositor compositor;
    compositor.setBackground(cg::Color::rgb(0x1B2630));  // also beyond the scene's edges
    for (size_t r = 0; r < rows.size(); ++r) {
        const SheetRow& row = rows[r];
        const cg::Rect region(row.centre.x - row.half, row.centre.y - row.half, 2 * row.half, 2 * row.half);
        const double k = cell / region.width(), top = static_cast<double>(rows.size() - 1 - r) * cell;
        auto root = std::make_shared<ca::Layer>(), ground = std::make_shared<ca::Layer>();
        ground->setFrame(row.ground ? cg::Rect(0, 0, row.ground->pixelWidth() / 2.0, row.ground->pixelHeight() / 2.0) : region);
        ground->setContents(row.ground);
        root->addSublayer(ground);
        root->addSublayer(row.layer);
        root->commit(0);
        for (size_t c = 0; c < cols; ++c) {
            sheet->saveGState();
            sheet->translateBy(c * cell, top);
            sheet->scaleBy(k, k);
            sheet->translateBy(-region.minX(), -region.minY());
            const cg::Rect device(c * cell * scale, top * scale, cell * scale, cell * scale);
            compositor.render(*root, kSheetTimes[c], *sheet, std::span<const cg::Rect>(&device, 1));
            sheet->restoreGState();
        }
    }
    const auto image = sheet->makeImage();
    if (const char* out = std::getenv("VM_TEST_OUT")) {
        std::filesystem::create_directories(out);
        image->writePNG(std::string(out) + "/" + name + ".png");
    }
    std::vector<double> change(rows.size());
    const int px = static_cast<int>(cell * scale);
    for (int y = 0; y < image->pixelHeight(); ++y)
        for (int x = px; x < image->pixelWidth(); ++x)
            for (int sh = 0; sh < 24; sh += 8) {
                const auto channel = [&](int at) { return static_cast<int>((image->pixel(at, y) >> sh) & 0xFF); };
                change[static_cast<size_t>(y / px)] += std::abs(channel(x % px) - channel(x)) / (px * px * (cols - 1.0));
            }
    return change;
}

}  // namespace buildertest
