#include "Pipeline/Render.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>
#include <optional>
#include <utility>

#include "Art/Art.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/Look.h"
#include "Renderer/TerrainLayout.h"
#include "Renderer/Shading.h"
#include "Renderer/Terrain.h"

namespace Renderer {
namespace {

// One limit for the whole request, checked before any work: the bitmap follows the pixels, the terrain
// grids and every placement loop follow the points. No screen comes near either.
constexpr double kMaxSidePixels = 32767;              // what a bitmap can hold on a side
constexpr double kMaxPixels = 268435456;              // 2^28 pixels in all
constexpr double kMaxSidePoints = 32768;
constexpr double kMaxPoints = 67108864;               // 2^26 square points: 5 terrain grids of 84 MB at most
constexpr double kMaxFeatureSize = 4096;              // icon and label sizes in points

// Pixel size of the bitmap, rounding halves away from zero; none when the request cannot have one.
std::optional<std::pair<int, int>> pixelSize(const SceneSpec& spec) {
    const double W = spec.size.width, H = spec.size.height, scale = spec.scale;
    if (!std::isfinite(W) || !std::isfinite(H) || !std::isfinite(scale) || !(scale > 0)) return std::nullopt;
    if (!(W > 0 && H > 0 && W <= kMaxSidePoints && H <= kMaxSidePoints && W * H <= kMaxPoints)) return std::nullopt;
    if (!(spec.iconSize >= 0 && spec.iconSize <= kMaxFeatureSize && spec.textSize >= 0 &&
          spec.textSize <= kMaxFeatureSize))
        return std::nullopt;
    const double w = std::round(W * scale);
    const double h = std::round(H * scale);
    if (!(w >= 1 && h >= 1 && w <= kMaxSidePixels && h <= kMaxSidePixels && w * h <= kMaxPixels)) return std::nullopt;
    return std::pair{static_cast<int>(w), static_cast<int>(h)};
}

std::function<bool(cg::Point)> waterTest(SceneKind kind, const GridRef& v, float landAt) {
    switch (kind) {
        case SceneKind::archipelago:
        case SceneKind::pond:
            return [v, landAt](cg::Point p) { return v->sample(p) < landAt; };
        case SceneKind::winter:
            return [v](cg::Point p) { return v->sample(p) < 0.06f; };
        case SceneKind::reef:
        case SceneKind::sea:
            return [v](cg::Point) { return true; };
        case SceneKind::canyon:
        case SceneKind::orbit:
        case SceneKind::city:
        case SceneKind::skyline:
        case SceneKind::warzone:
            break;
    }
    return [v](cg::Point) { return false; };
}

// Adds the time since the last mark to a stage; does nothing without a place to put it.
class StageClock {
public:
    explicit StageClock(StageTimes* times) : times_(times) {
        if (times_) mark(wall_, cpu_);
    }
    void lap(StageTimes::Span StageTimes::*stage) {
        if (!times_) return;
        std::chrono::steady_clock::time_point wall;
        double cpu;
        mark(wall, cpu);
        (times_->*stage).wall += std::chrono::duration<double, std::milli>(wall - wall_).count();
        (times_->*stage).cpu += cpu - cpu_;
        wall_ = wall;
        cpu_ = cpu;
    }

private:
    static void mark(std::chrono::steady_clock::time_point& wall, double& cpu) {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        cpu = static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
        wall = std::chrono::steady_clock::now();
    }
    StageTimes* times_;
    std::chrono::steady_clock::time_point wall_;
    double cpu_ = 0;
};

}  // namespace

std::vector<cg::Rect> keepRects(const SceneSpec& spec) {
    std::vector<cg::Rect> keep;
    keep.reserve(spec.icons.size());
    const double labelW = std::max(spec.iconSize + 30, spec.textSize * 9.5);
    const double labelH = spec.textSize * 2.6 + 4;
    const double h = spec.iconSize * 0.5;
    for (const cg::Point& c : spec.icons) {
        // An icon without a real position has nothing to keep clear.
        if (!std::isfinite(c.x) || !std::isfinite(c.y)) continue;
        const cg::Rect icon(c.x - h, c.y - h, spec.iconSize, spec.iconSize);
        const cg::Rect label = spec.labelsRight ? cg::Rect(c.x + h + 2, c.y - labelH * 0.5, labelW * 1.3, labelH)
                                                : cg::Rect(c.x - labelW * 0.5, c.y + h + 2, labelW, labelH);
        keep.push_back(icon.unionWith(label).insetBy(-6, -6));
    }
    return keep;
}

namespace {

std::optional<RenderedScene> renderStages(const SceneSpec& spec, const PlacementMap& before, StageTimes* times) {
    const auto pixels = pixelSize(spec);
    if (!pixels) return std::nullopt;
    StageClock clock(times);

    Look look(spec.kind, spec.night, static_cast<float>(spec.size.height));
    std::vector<cg::Rect> keep = keepRects(spec);
    Terrain terrain = Renderer::terrain(spec, look, keep);
    clock.lap(&StageTimes::terrain);

    // Shading writes every pixel, so the bitmap starts unset: its pages are first touched by the
    // shading threads, and it can become the image without a copy.
    auto ctx = cg::Context::makeUnsetBitmap(pixels->first, pixels->second, 1);
    if (!ctx) return std::nullopt;
    clock.lap(&StageTimes::bitmap);
    uint8_t* const bits = ctx->data();
    const std::size_t stride = ctx->bytesPerRow();
    const float scale = static_cast<float>(spec.scale);
    auto shade = [&] { paint(bits, stride, pixels->first, pixels->second, scale, terrain, look); };
    // With threads to spare, the ground is shaded on the loop threads while the painter places its
    // things and draws its pictures; the painter's first read of or draw into the bitmap waits for it.
    // Neither changes the other's bytes: both only read the terrain and the look.
    dispatch::Once shaded;
    std::mutex waitedLock;  // several painter threads may wait at once
    std::optional<dispatch::Background> shader;  // waited for on the way out
    if (dispatch::threadCount() > 1) {
        auto shadeOnce = [&shade, &shaded, times] {
            shaded.run([&] {
                StageClock own(times);
                shade();
                own.lap(&StageTimes::shading);
            });
        };
        // A painter thread that needs the pixels before they are done helps to shade them.
        shader.emplace(shadeOnce);
        ctx->awaitPixels([shadeOnce, times, &waitedLock] {
            const auto start = std::chrono::steady_clock::now();
            shadeOnce();
            if (!times) return;
            const std::lock_guard<std::mutex> lock(waitedLock);
            times->waited += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        });
    } else {
        shade();
        ctx->pixelsChanged();
        clock.lap(&StageTimes::shading);
    }
    ctx->scaleBy(spec.scale, spec.scale);
    const std::string style = std::string(scene_kind::rawValue(spec.kind)) + (spec.night ? "-night" : "-day");
    const float landAt = look.landAt();
    const GridRef heights = terrain.v;

    Art art(ctx.get(), spec, terrain, keep, look, before);
    std::vector<cg::Point> keepPoints;
    keepPoints.reserve(keep.size() * 2);
    for (const cg::Rect& r : keep) {
        keepPoints.push_back(r.origin);
        keepPoints.push_back({std::fabs(r.size.width), std::fabs(r.size.height)});
    }
    art.placed[style + "-keep"] = std::move(keepPoints);
    art.decorate();
    ctx->data();  // a painter that never touched the ground still waits for it
    clock.lap(&StageTimes::painter);

    RenderedScene result;
    result.wet = waterTest(spec.kind, heights, landAt);
    // The painter is done with the bitmap: it becomes the picture as it is.
    result.image = ctx->takeImage();
    if (!result.image) return std::nullopt;
    clock.lap(&StageTimes::image);
    result.sprites = std::move(art.sprites);
    result.style = style;
    result.placed = std::move(art.placed);
    return result;
}

}  // namespace

std::size_t pictureBytes(const SceneSpec& spec) {
    const auto pixels = pixelSize(spec);
    return pixels ? static_cast<std::size_t>(pixels->first) * static_cast<std::size_t>(pixels->second) * 4 : 0;
}

std::optional<RenderedScene> render(const SceneSpec& spec, const PlacementMap& before) {
    return renderStages(spec, before, nullptr);
}

std::optional<RenderedScene> renderTimed(const SceneSpec& spec, const PlacementMap& before, StageTimes& times) {
    return renderStages(spec, before, &times);
}

}  // namespace Renderer
