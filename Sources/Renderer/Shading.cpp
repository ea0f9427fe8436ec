#include "Renderer/Shading.h"

#include <algorithm>
#include <cmath>

#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/Look.h"
#include "Renderer/Palette.h"
#include "Renderer/Random.h"
#include "Renderer/Terrain.h"

namespace Renderer {
namespace {

inline float clampf(float z, float lo, float hi) { return z < lo ? lo : (z > hi ? hi : z); }

// t²(3 − 2t) over t = clamp((z − e0)/(e1 − e0), 0, 1), the span taken as written.
inline float smoothstep(float e0, float e1, float z) {
    const float t = clampf((z - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// A grid read through its raw buffer, with the clamped bilinear sample and its exact per-cell gradient.
struct GridView {
    const float* p;
    int64_t cols;
    float maxX, maxY;

    explicit GridView(const Grid& g)
        : p(g.p.data()), cols(g.cols), maxX(static_cast<float>(g.cols - 2)), maxY(static_cast<float>(g.rows - 2)) {}

    struct Cell {
        const float* r0;
        float fx, fy;
    };
    inline Cell cell(float x, float y) const {
        const float gx = clampf(x / 4, 0.0f, maxX);
        const float gy = clampf(y / 4, 0.0f, maxY);
        const int64_t i = static_cast<int64_t>(gx), j = static_cast<int64_t>(gy);
        return {p + j * cols + i, gx - static_cast<float>(i), gy - static_cast<float>(j)};
    }
    inline float sample(float x, float y) const {
        const Cell c = cell(x, y);
        const float p00 = c.r0[0], p10 = c.r0[1], p01 = c.r0[cols], p11 = c.r0[cols + 1];
        const float r0 = p00 + c.fx * (p10 - p00);
        const float r1 = p01 + c.fx * (p11 - p01);
        return r0 + c.fy * (r1 - r0);
    }
    // The value and the slope per point.
    inline float sample(float x, float y, float& slope) const {
        const Cell c = cell(x, y);
        const float p00 = c.r0[0], p10 = c.r0[1], p01 = c.r0[cols], p11 = c.r0[cols + 1];
        const float r0 = p00 + c.fx * (p10 - p00);
        const float r1 = p01 + c.fx * (p11 - p01);
        const float dx = (p10 - p00) + c.fy * (((p00 - p10) - p01) + p11);
        const float dy = r1 - r0;
        slope = std::sqrt(dx * dx + dy * dy) * 0.25f;
        return r0 + c.fy * (r1 - r0);
    }
};

// Everything derived once per call and shared read-only by the rows.
struct Prepared {
    const Look& look;
    GridView v, body, shade, depth, tex;
    float inv;
    float landAt;
    bool tint;
    float lx, ly;
    bool grain;
    bool cliff;
    bool hasFacade;
};

Prepared prepare(float scale, const Terrain& t, const Look& look) {
    Prepared p{look, GridView(*t.v), GridView(*t.body), GridView(*t.shade), GridView(*t.depth), GridView(*t.tex),
               1.0f / scale, look.land.front().t, false, -0.6f, -0.8f, look.grain > 0, look.cliff > 0,
               static_cast<bool>(look.facade)};
    p.tint = look.shadowTint.x != 1 || look.shadowTint.y != 1 || look.shadowTint.z != 1;
    const float sx = look.shadow.x, sy = look.shadow.y;
    const float len2 = sx * sx + sy * sy;
    if (len2 > 0) {
        const float len = std::sqrt(len2);
        p.lx = -sx / len;
        p.ly = -sy / len;
    }
    for (const Band& b : look.water) p.grain = p.grain || b.ragged > 0;
    for (const Band& b : look.land) p.grain = p.grain || b.ragged > 0;
    return p;
}

inline Float3 applyBands(Float3 colour, const std::vector<Band>& bands, float v, float w, float g, float tex, float m) {
    for (const Band& b : bands) {
        const float h = b.t + g * b.ragged;
        float alpha;
        if (b.soft > 0) {
            alpha = b.a * smoothstep(h - b.soft, b.soft + h, v);
        } else {
            const float f = (v - h) / w + 0.5f;
            alpha = f < 0 ? 0.0f : (f < 1 ? b.a * f : b.a);
        }
        if (alpha <= 0) continue;
        Float3 bc = b.alt ? mix(b.c, *b.alt, m) : b.c;
        bc = bc * (1 + b.mottle * tex);
        colour = mix(colour, bc, alpha);
    }
    return colour;
}

inline uint32_t toByte(float z, float dither) {
    const float zz = z + dither;
    if (zz < 0) return 0;
    return static_cast<uint32_t>(std::min(zz, 1.0f) * 255 + 0.5f);
}

void shadeRow(uint32_t* out, int64_t r, int64_t width, const Prepared& P) {
    const Look& L = P.look;
    const float y = (static_cast<float>(r) + 0.5f) * P.inv;
    const float landAt = P.landAt;
    for (int64_t k = 0; k < width; ++k) {
        const float x = (static_cast<float>(k) + 0.5f) * P.inv;

        float slope;
        const float v = P.v.sample(x, y, slope);
        const float w = std::max(0.00001f, slope * P.inv);
        const float tex = P.tex.sample(x, y);

        float g = 0;
        if (P.grain) g = 0.6f * valueNoise(x / 4.5f, y / 4.5f, 71) + 0.4f * valueNoise(x / 1.8f, y / 1.8f, 72);

        Float3 colour = L.base(x, y, tex);

        if (L.ripple > 0 && v < landAt) {
            const float u = 0.8f * x + 0.6f * y;
            const float q = 0.8f * y - 0.6f * x;
            const float n = 0.6f * valueNoise(u / 5, q / 17, 81) + 0.4f * valueNoise(u / 2.2f, q / 7, 82);
            colour = colour * (1 + L.ripple * (1 - smoothstep(0.02f, landAt, v)) * n);
        }

        const float m = smoothstep(0, 1, (tex + 0.25f) / 0.8f);
        if (!L.water.empty()) colour = applyBands(colour, L.water, v, w, g, tex, m);

        if (P.tint) {
            float slopeS;
            const float S = P.shade.sample(x - L.shadow.x, y - L.shadow.y, slopeS);
            const float e = std::max(0.00001f, L.penumbra * slopeS);
            const float f = clampf((S - landAt) / e + 0.5f, 0, 1);
            colour = mix(colour, colour * L.shadowTint, f);
        }

        if (P.cliff) {
            float slopeB;
            const float B = P.body.sample(x, y, slopeB);
            const float e = std::max(0.00001f, slopeB * P.inv);
            const float f = (B - landAt) / e + 0.5f;
            if (f > 0) {
                const float alpha = std::min(f, 1.0f);
                const float D = P.depth.sample(x, y);
                Float3 cc;
                if (P.hasFacade) {
                    cc = L.facade(x, D);
                } else {
                    const float sn = 0.5f * std::sin(0.9f * D) + 0.5f;
                    const float s = sn * sn;
                    cc = mix(L.cliffDark, L.cliffLight, s) * (1 - 0.35f * std::min(D / L.cliff, 1.0f));
                }
                colour = mix(colour, cc, alpha);
            }
        }

        colour = applyBands(colour, L.land, v, w, g, tex, m);

        const float K = v >= landAt ? L.relief : L.deep;
        if (K > 0) {
            auto lit = [&](float px, float py) {
                const float d = P.v.sample(px, py) - landAt;
                const float c = clampf(d - 0.2f, 0, 0.2f);
                return landAt + std::min(d, 0.4f) - c * c / 0.4f + 0.12f * P.tex.sample(px, py);
            };
            const float hxp = lit(x + 1.5f, y), hxm = lit(x - 1.5f, y);
            const float hyp = lit(x, y + 1.5f), hym = lit(x, y - 1.5f);
            const float Lt = -20 * K * (P.lx * (hxp - hxm) + P.ly * (hyp - hym));
            colour = colour * (1 + clampf(Lt, -0.3f, 0.3f));
        }

        if (L.grain > 0) colour = colour * (1 + L.grain * g * smoothstep(landAt - 0.02f, landAt + 0.02f, v));

        if (L.caustic > 0) {
            colour = colour * (1 + L.caustic * smoothstep(0.06f, landAt + 0.06f, v) *
                                       (1 - 0.35f * smoothstep(landAt + 0.04f, landAt + 0.1f, v)) * ::caustic(x, y));
        }

        // A fixed ordered dither: the lattice hash of the noise at (k, r) with seed 5.
        uint32_t n = (static_cast<uint32_t>(k) * 668265261u) ^ (static_cast<uint32_t>(r) * 374761393u) ^ 0x17156075u;
        n = (n ^ (n >> 15)) * 739982445u;
        n = (n ^ (n >> 12)) * 695872825u;
        n = n ^ (n >> 15);
        const float dither = ((static_cast<float>(n & 0xFFFFu) / 32767.5f - 1) * 0.5f) / 255;

        out[k] = 0xFF000000u | (toByte(colour.x, dither) << 16) | (toByte(colour.y, dither) << 8) |
                 toByte(colour.z, dither);
    }
}

}  // namespace

void paintRow(uint8_t* row, int64_t r, int64_t width, float scale, const Terrain& terrain, const Look& look) {
    const Prepared P = prepare(scale, terrain, look);
    shadeRow(reinterpret_cast<uint32_t*>(row), r, width, P);
}

void paint(uint8_t* pixels, std::size_t stride, int64_t width, int64_t height, float scale, const Terrain& terrain,
           const Look& look) {
    if (!pixels || width <= 0 || height <= 0) return;
    const Prepared P = prepare(scale, terrain, look);
    dispatch::concurrentPerform(static_cast<std::size_t>(height), [&](std::size_t r) {
        shadeRow(reinterpret_cast<uint32_t*>(pixels + r * stride), static_cast<int64_t>(r), width, P);
    });
}

}  // namespace Renderer
