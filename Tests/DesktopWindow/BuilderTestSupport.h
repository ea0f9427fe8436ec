#pragma once
// Helpers for the sprite layer builder tests: reaching into built animations, rendering real scenes
// once per binary, and contact sheets of built layers composited at a few times.

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
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace buildertest {

using LayerRef = std::shared_ptr<ca::Layer>;

// The animation under `key`, as its concrete type (fails the test when absent or of another type).
template <class T>
const T& anim(const ca::Layer& layer, const std::string& key) {
    const auto a = layer.animation(key);
    if (!a) throw std::runtime_error("no animation under " + key);
    const T* t = dynamic_cast<const T*>(a.get());
    if (!t) throw std::runtime_error("animation under " + key + " has another type");
    return *t;
}

// Child i of a group, as its concrete type.
template <class T>
const T& child(const ca::AnimationGroup& g, size_t i) {
    if (i >= g.animations.size()) throw std::runtime_error("group has no such child");
    const T* t = dynamic_cast<const T*>(g.animations[i].get());
    if (!t) throw std::runtime_error("group child has another type");
    return *t;
}

// The key paths of a group's children, in order.
inline std::vector<std::string> keyPaths(const ca::AnimationGroup& g) {
    std::vector<std::string> out;
    for (const auto& a : g.animations)
        if (auto p = dynamic_cast<const ca::PropertyAnimation*>(a.get())) out.push_back(p->keyPath());
    return out;
}

inline std::vector<double> numbers(const std::vector<ca::Value>& values) {
    std::vector<double> out;
    for (const auto& v : values) out.push_back(v.number());
    return out;
}

// Layers in a subtree, the root included.
inline size_t countLayers(const ca::Layer& l) {
    size_t n = 1;
    for (const auto& s : l.sublayers()) n += countLayers(*s);
    return n;
}

// A real rendered scene at the self-test size (3420 × 2224 pixels), rendered once per binary.
inline const RenderedScene& scene(SceneKind kind, bool night) {
    static std::map<std::pair<int, bool>, RenderedScene> cache;
    const auto key = std::make_pair(static_cast<int>(kind), night);
    auto it = cache.find(key);
    if (it == cache.end()) {
        SceneSpec spec;
        spec.size = {1710, 1112};
        spec.scale = 2;
        spec.kind = kind;
        spec.night = night;
        spec.icons = {{1600, 90}, {1600, 200}, {1600, 310}};
        auto r = Renderer::render(spec, {});
        if (!r) throw std::runtime_error("scene did not render");
        it = cache.emplace(key, std::move(*r)).first;
    }
    return it->second;
}

inline std::vector<Sprite> sprites(SceneKind kind, bool night, Sprite::Kind k,
                                   const std::function<bool(const Sprite&)>& where = {}) {
    std::vector<Sprite> out;
    for (const Sprite& s : scene(kind, night).sprites)
        if (s.kind == k && (!where || where(s))) out.push_back(s);
    return out;
}

// One row of a contact sheet: a built layer over the ground picture of a region of its scene.
struct SheetRow {
    LayerRef layer;
    cg::Rect region;           // scene points, y up
    cg::ImageRef ground;       // the whole scene picture, or none for a plain dark ground
    double groundScale = 2;    // pixels per point of the ground picture
};

// The region round a sprite: its path (or position and end point) grown by `margin`.
inline cg::Rect regionOf(const Sprite& s, double margin) {
    cg::Rect r(s.at, cg::Size{0, 0});
    for (const auto& p : s.path) r = r.unionWith(cg::Rect(p, cg::Size{0, 0}));
    if (s.to.x != 0 || s.to.y != 0) r = r.unionWith(cg::Rect(s.to, cg::Size{0, 0}));
    return r.insetBy(-margin, -margin);
}

// Composites every row at each time (after committing the layers at media time 0) into a sheet of
// square cells, one row per layer, and writes it as $VM_TEST_OUT/<name>.png. Returns the sheet.
inline cg::ImageRef contactSheet(const std::string& name, std::vector<SheetRow> rows, const std::vector<double>& times,
                                 double cell = 150) {
    const double scale = 2;
    const int cols = static_cast<int>(times.size());
    auto sheet = cg::Context::makeFrame(cols * cell, rows.size() * cell, scale);
    if (!sheet) return nullptr;
    ca::Compositor compositor;
    for (size_t r = 0; r < rows.size(); ++r) {
        SheetRow& row = rows[r];
        // Square the region about its centre so nothing is stretched.
        cg::Rect region = row.region;
        const double side = std::max(region.width(), region.height());
        region = cg::Rect(region.midX() - side / 2, region.midY() - side / 2, side, side);
        const double k = cell / side;

        auto root = std::make_shared<ca::Layer>();
        auto ground = std::make_shared<ca::Layer>();
        ground->setFrame(region);
        ground->setBackgroundColor(cg::Color::rgb(0x1B2630));  // beyond the scene's edges
        if (row.ground) {
            const int px = static_cast<int>(std::ceil(side * k * scale));
            auto crop = cg::Context::makeBitmap(px, px, scale * k);
            const double W = row.ground->pixelWidth() / row.groundScale, H = row.ground->pixelHeight() / row.groundScale;
            crop->draw(row.ground, cg::Rect(-region.minX(), -region.minY(), W, H));
            ground->setContents(crop->makeImage());
        }
        root->addSublayer(ground);
        root->addSublayer(row.layer);
        root->commit(0);

        for (int c = 0; c < cols; ++c) {
            const double top = (static_cast<double>(rows.size()) - 1 - static_cast<double>(r)) * cell;
            sheet->saveGState();
            sheet->translateBy(c * cell, top);
            sheet->scaleBy(k, k);
            sheet->translateBy(-region.minX(), -region.minY());
            const cg::Rect device(c * cell * scale, top * scale, cell * scale, cell * scale);
            compositor.render(*root, times[static_cast<size_t>(c)], *sheet, std::span<const cg::Rect>(&device, 1));
            sheet->restoreGState();
        }
        row.layer->removeFromSuperlayer();
    }
    auto image = sheet->makeImage();
    if (const char* out = std::getenv("VM_TEST_OUT")) {
        std::filesystem::create_directories(out);
        image->writePNG(std::string(out) + "/" + name + ".png");
    }
    return image;
}

// How much row `row` of a contact sheet changes over time: the largest mean channel difference
// between its first cell and any later one.
inline double rowChange(const cg::Image& sheet, int row, int cols, double cell = 150) {
    const int px = static_cast<int>(cell * 2);
    double most = 0;
    for (int c = 1; c < cols; ++c) {
        double sum = 0;
        for (int y = row * px; y < (row + 1) * px; ++y)
            for (int x = 0; x < px; ++x) {
                const uint32_t p = sheet.pixel(x, y), q = sheet.pixel(c * px + x, y);
                for (int sh = 0; sh < 24; sh += 8)
                    sum += std::fabs(static_cast<double>((p >> sh) & 0xFF) - static_cast<double>((q >> sh) & 0xFF));
            }
        most = std::max(most, sum / (px * px));
    }
    return most;
}

// Rows of built layers over their scene's picture, for the sheets.
inline std::vector<SheetRow> rowsOf(SceneKind kind, bool night, const std::vector<Sprite>& picked,
                                    const std::function<LayerRef(const Sprite&)>& build, double margin = 40) {
    std::vector<SheetRow> rows;
    for (const Sprite& s : picked) {
        SheetRow row;
        row.layer = build(s);
        if (s.glow) row.layer->setCompositingFilter(ca::CompositingFilter::colorDodge);
        row.region = regionOf(s, std::max(margin, s.size));
        row.ground = scene(kind, night).image;
        rows.push_back(row);
    }
    return rows;
}

inline const std::vector<double> kSheetTimes{0, 0.5, 1, 2, 5};

}  // namespace buildertest
