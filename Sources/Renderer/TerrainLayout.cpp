#include <cmath>
#include <numbers>

#include "Renderer/Random.h"
#include "Renderer/TerrainLayout.h"
#include "Renderer/Streets.h"

namespace {

// Int(x) as a 64-bit bit pattern for hashing: truncation toward zero, two's complement for negative
// values; NaN gives 0 and values beyond the signed range saturate instead of being undefined.
uint64_t hashBits(double x) {
    if (x != x) return 0;
    if (x >= 9223372036854775808.0) return static_cast<uint64_t>(INT64_MAX);
    if (x < -9223372036854775808.0) return static_cast<uint64_t>(INT64_MIN);
    return static_cast<uint64_t>(static_cast<int64_t>(x));
}

// Int(x) for a count: at least 0.
int64_t countOf(double x) {
    if (!(x > 0)) return 0;
    if (x >= 9223372036854775808.0) return INT64_MAX;
    return static_cast<int64_t>(x);
}

struct Candidate {
    double x, y, r;
};

}  // namespace

namespace Renderer {

std::vector<Terrain::Blob> terrainBlobs(const SceneSpec& spec, const std::vector<cg::Rect>& keep) {
    const double W = spec.size.width, H = spec.size.height;
    const double zone = 1.7 * spec.iconSize;
    const double R = 80 >= zone ? 80.0 : zone;

    // Free mound candidates: up to n, 300 points apart, from the plain scene seed. They depend only on
    // the screen size and the scene, never on the icons.
    const int64_t n = countOf(W * H / 330000) + 2;
    std::vector<Candidate> candidates;
    {
        RNG rng(spec.seed());
        for (int64_t t = 0; t < 25 * n; ++t) {
            const double x = rng.uniform(70, W - 70);
            const double y = rng.uniform(90, H - 70);
            const double r = rng.uniform(48, 80);
            if (static_cast<int64_t>(candidates.size()) >= n) continue;
            bool clear = true;
            for (const Candidate& c : candidates)
                if (!(std::hypot(c.x - x, c.y - y) > 300)) {
                    clear = false;
                    break;
                }
            if (clear) candidates.push_back({x, y, r});
        }
    }

    std::vector<Terrain::Blob> blobs;
    blobs.reserve(keep.size() * 4 + candidates.size());
    for (const cg::Rect& k : keep) blobs.push_back({k, R, 1.0f});

    // Satellites hang on where the icon stands, so moving one icon moves only its own.
    for (const cg::Rect& k : keep) {
        const double midX = k.midX(), midY = k.midY();
        RNG rng((hashBits(midX * 8) * 0x9E3779B9ULL) ^ (hashBits(midY * 8) * 0x85EBCA6BULL));
        for (int s = 0; s < 3; ++s) {
            const double angle = rng.uniform(0, 2 * std::numbers::pi);
            const double d = R * rng.uniform(0.2, 0.7);
            const double r = R * rng.uniform(0.6, 1);
            const cg::Point c{midX + std::cos(angle) * (k.width() / 2 + d), midY + std::sin(angle) * (k.height() / 2 + d)};
            blobs.push_back({cg::Rect(c, {0, 0}), r, 0.75f});
        }
    }

    // A candidate near an icon is dropped, not replaced.
    for (const Candidate& c : candidates) {
        bool nearIcon = false;
        for (const cg::Rect& k : keep)
            if (k.insetBy(-1.9 * R, -1.9 * R).contains(cg::Point{c.x, c.y})) {
                nearIcon = true;
                break;
            }
        if (!nearIcon) blobs.push_back({cg::Rect(c.x, c.y, 0, 0), c.r, 0.85f});
    }
    return blobs;
}

Terrain terrain(const SceneSpec& spec, const Look& look, const std::vector<cg::Rect>& keep) {
    const float landAt = look.landAt();
    Terrain::Reshape reshape;
    auto shelf = [landAt](float top) {
        return [landAt, top](Grid& v, Grid& tex) { shelve(v, tex, landAt, top); };
    };
    switch (spec.kind) {
        case SceneKind::archipelago: reshape = shelf(0.17f); break;
        case SceneKind::winter: reshape = shelf(0.14f); break;
        case SceneKind::sea: reshape = shelf(0.16f); break;
        case SceneKind::pond: reshape = shelf(0.15f); break;
        case SceneKind::city: reshape = [&keep](Grid& v, Grid& tex) { Streets::snap(v, tex, keep); }; break;
        case SceneKind::canyon:
        case SceneKind::orbit:
        case SceneKind::skyline:
        case SceneKind::reef:
        case SceneKind::warzone: break;
    }
    return Terrain::make(spec.size, terrainBlobs(spec, keep), landAt, look.cliff,
                         static_cast<uint32_t>(spec.seed()), spec.kind == SceneKind::city, reshape);
}

}  // namespace Renderer
