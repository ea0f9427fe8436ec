#include "Renderer/Look.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>

#include "Renderer/CausticRow.h"
#include "Renderer/GrainRow.h"
#include "Renderer/NoiseRow.h"
#include "Renderer/Palette.h"
#include "Renderer/SteadyMath.h"
#include "Renderer/Streets.h"
#include "Renderer/Vec16.h"

using palette::clamp;
using palette::grain;
using palette::S;
using palette::smoothstep;

namespace {

// ---------------------------------------------------------------------------------------------------
// Ground colours. Each is instantiated once for day and once for night, so the per-pixel path chooses
// no colours: they are compile-time constants, and the per-look numbers sit in GroundColor::k.
//
// Every ground comes twice: the point form, and a run form that gives the same bits for eight points at
// a time (vec8 mirrors each scalar operation, exp and sin included: both forms use our own, steady::exp
// and steady::sin, where a library call per point would cost the most). Both read their colours from one
// struct so that they cannot drift apart.

template <bool Night>
constexpr Float3 dn(uint32_t day, uint32_t night) {
    return rgb(Night ? night : day);
}

// The AVX2 form of a run around its forced-inline body, and the entry that takes it where the
// processor allows, else the point form at every point.
#define GROUND_RUN8(name)                                                                                 \
    template <bool Night>                                                                                 \
    VEC8_AVX2 void name##Avx2(const GroundColor& g, const GroundRun& in) {                                \
        name##Body<Night>(g, in);                                                                         \
    }                                                                                                     \
    template <bool Night>                                                                                 \
    void name##Run(const GroundColor& g, const GroundRun& in) {                                           \
        if (vec8::avx2()) name##Avx2<Night>(g, in);                                                       \
        else pointByPoint(g, in);                                                                         \
    }

// The same with the sixteen-lane form first, where the processor has AVX-512F and the run is whole
// groups of sixteen.
#define GROUND_RUN(name)                                                                                  \
    template <bool Night>                                                                                 \
    VEC16_AVX512 void name##Wide(const GroundColor& g, const GroundRun& in) {                             \
        g16::name##Body<Night>(g, in);                                                                    \
    }                                                                                                     \
    template <bool Night>                                                                                 \
    VEC8_AVX2 void name##Avx2(const GroundColor& g, const GroundRun& in) {                                \
        g8::name##Body<Night>(g, in);                                                                     \
    }                                                                                                     \
    template <bool Night>                                                                                 \
    void name##Run(const GroundColor& g, const GroundRun& in) {                                           \
        if (vec16::avx512() && in.n % vec16::kLanes == 0) name##Wide<Night>(g, in);                       \
        else if (vec8::avx2()) name##Avx2<Night>(g, in);                                                  \
        else pointByPoint(g, in);                                                                         \
    }

void pointByPoint(const GroundColor& g, const GroundRun& in) {
    for (std::size_t k = 0; k < in.n; ++k) {
        const Float3 c = g(in.x[k], in.y, in.tex[k]);
        in.r[k] = c.x;
        in.g[k] = c.y;
        in.b[k] = c.z;
    }
}

// Column-table fields of a noise taken at x/d: its points, cells and fractions (NoiseRow::columns).
void noiseFields(const float* xs, std::size_t n, float d, float* out) {
    for (std::size_t k = 0; k < n; ++k) out[k] = xs[k] / d;
    NoiseRow::columns(out, n, out + n, out + 2 * n);
}
NoiseColumns noiseFields(const GroundRun& in, std::size_t field) {
    const float* f = in.table + field * in.tableStride;
    return {f, f + in.tableStride, f + 2 * in.tableStride};
}

// The elliptical sun or moon glint of the open-water scenes; k[0..3] hold 0.46h, 0.27h, 0.32h, 0.15h.
inline float glint(const GroundColor& g, float x, float y) {
    const float a = (x - g.k[0]) / g.k[1];
    const float b = (y - g.k[2]) / g.k[3];
    return steady::exp(-2.2f * (a * a + b * b));
}
// The glint's row term, once per run.
inline float glintRow(const GroundColor& g, const GroundRun& in) { return (in.y - g.k[2]) / g.k[3]; }

template <bool Night>
struct ArchipelagoColours {
    static constexpr Float3 T = dn<Night>(0x1c6e9e, 0x0c2c4e), B = dn<Night>(0x0f4f80, 0x071b33);
    static constexpr Float3 K = Night ? Float3{0.10f, 0.12f, 0.15f} : Float3{0.12f, 0.12f, 0.10f};
};

// k[4]: weight of the grain noise on the glint.
template <bool Night>
Float3 archipelagoGround(const GroundColor& g, float x, float y, float tex) {
    using C = ArchipelagoColours<Night>;
    const Float3 sky = mix(C::T, C::B, y / g.h) * (1.0f + 0.05f * tex);
    const float m = glint(g, x, y);
    return sky + C::K * m * (1.0f + g.k[4] * grain(x, y));
}

template <bool Night>
struct CanyonColours {
    static constexpr Float3 A = dn<Night>(0xe6b98c, 0x46454f), B = dn<Night>(0xf0cda2, 0x5b5963);
    static constexpr Float3 E = dn<Night>(0xf5ddb8, 0x5f5e6a);
};

// k[0]: striation strength.
template <bool Night>
Float3 canyonGround(const GroundColor& g, float x, float y, float tex) {
    using C = CanyonColours<Night>;
    const float f = g.k[0];
    const Wash wash = washAt(x, g.h);
    const float d = wash.k * (y - wash.y);  // across the wash, positive below its centre line
    const float hw = wash.half + 3.0f * tex;
    const float p = S(tex / 0.7f);
    const float st = steady::sin((0.85f * x + 0.4f * y) / 7.0f + 6.0f * tex);
    // The grain only matters by night away from the wash, so by day it is left out there.
    float n = 0, q = 0;
    if constexpr (Night) {
        n = grain(x, y);
        q = 0.05f * n;
    }
    const float ad = std::fabs(d);
    if (ad >= hw + 5.0f) return mix(C::A, C::B, p) * (1.0f + f * st + 0.04f * tex + q);

    if constexpr (!Night) n = grain(x, y);
    const float edge = hw + 1.5f * n;
    const float w = 0.9f * smoothstep(edge + 2.0f, edge - 2.0f, ad);
    // Three braided channels, each shown where its slow gate along x is open.
    const float c1 = std::fabs(d - 0.55f * hw * std::sin(x / 61.0f + 2.0f));
    const float c2 = std::fabs(d + 0.5f * hw * std::sin(x / 43.0f + 0.5f));
    const float c3 = std::fabs(d - 0.3f * hw * std::sin(x / 29.0f + 4.0f));
    const float ch1 = smoothstep(-0.3f, 0.4f, std::sin(x / 83.0f)) * smoothstep(3.2f, 0.96f, c1);
    const float ch2 = smoothstep(-0.3f, 0.4f, std::sin(x / 57.0f)) * smoothstep(2.4f, 0.72f, c2);
    const float ch3 = smoothstep(-0.3f, 0.4f, std::sin(x / 37.0f)) * smoothstep(1.8f, 0.54f, c3);
    const float ch = std::max(ch1, std::max(ch2, ch3));
    const float L = 0.05f * smoothstep(edge - 2.5f, edge, d);
    const float D = 0.14f * smoothstep(edge - 3.5f, edge - 0.5f, -d);
    const float b = 1.0f - 0.1f * ch * (1.0f + 0.6f * n) + 0.03f * tex + L - D;
    const Float3 bank = mix(C::A, C::B, p) * (1.0f + f * st * (1.0f - w) + 0.04f * tex + q);
    return mix(bank, C::E * b, w);
}

// Everything of the canyon ground that depends on x alone: the wash and the channel terms.
enum CanyonField { kWashY, kWashK, kWashHalf, kSin61, kSin43, kSin29, kGate83, kGate57, kGate37, kCanyonFields };
void canyonTable(const GroundColor& g, const float* xs, std::size_t n, float* out) {
    for (std::size_t k = 0; k < n; ++k) {
        const float x = xs[k];
        const Wash wash = washAt(x, g.h);
        out[kWashY * n + k] = wash.y;
        out[kWashK * n + k] = wash.k;
        out[kWashHalf * n + k] = wash.half;
        out[kSin61 * n + k] = std::sin(x / 61.0f + 2.0f);
        out[kSin43 * n + k] = std::sin(x / 43.0f + 0.5f);
        out[kSin29 * n + k] = std::sin(x / 29.0f + 4.0f);
        out[kGate83 * n + k] = smoothstep(-0.3f, 0.4f, std::sin(x / 83.0f));
        out[kGate57 * n + k] = smoothstep(-0.3f, 0.4f, std::sin(x / 57.0f));
        out[kGate37 * n + k] = smoothstep(-0.3f, 0.4f, std::sin(x / 37.0f));
    }
}

template <bool Night>
struct OrbitColours {
    static constexpr Float3 T = dn<Night>(0x2a2160, 0x0c0e27), B = dn<Night>(0x141a45, 0x06071a);
    static constexpr Float3 N = dn<Night>(0x7a4fb5, 0x3a2f7a), E = dn<Night>(0x2f8fb0, 0x1f4f7a);
    static constexpr Float3 G = dn<Night>(0xd9d2f5, 0x9a94cf);
};

template <bool Night>
Float3 orbitGround(const GroundColor& g, float x, float y, float tex) {
    using C = OrbitColours<Night>;
    Float3 c = mix(C::T, C::B, y / g.h);
    c = mix(c, C::N, 0.35f * S((tex - 0.15f) / 0.75f));
    c = mix(c, C::E, 0.25f * S((-0.2f - tex) / 0.7f));
    return mix(c, C::G, 0.3f * galaxy(x, y, g.h));
}


void orbitTable(const GroundColor&, const float* xs, std::size_t n, float* out) {
    noiseFields(xs, n, 85.0f, out);
    noiseFields(xs, n, 140.0f, out + 3 * n);
    noiseFields(xs, n, 55.0f, out + 6 * n);
}

template <bool Night>
struct WinterColours {
    static constexpr Float3 T = dn<Night>(0x2f5f80, 0x10203a), B = dn<Night>(0x244e6c, 0x0a1628);
};

template <bool Night>
Float3 winterGround(const GroundColor& g, float, float y, float tex) {
    using C = WinterColours<Night>;
    return mix(C::T, C::B, y / g.h) * (1.0f + 0.05f * tex);
}

template <bool Night>
struct ReefColours {
    static constexpr Float3 U = dn<Night>(0x7ccbc2, 0x15405a), V = dn<Night>(0x3a93ac, 0x0b2638);
};

template <bool Night>
Float3 reefGround(const GroundColor& g, float x, float y, float tex) {
    using C = ReefColours<Night>;
    return mix(C::U, C::V, smoothstep(-0.2f, 1.2f, 0.35f * tex + y / g.h)) *
           (1.0f + 0.03f * steady::sin((0.7f * x + 0.5f * y) / 6.0f + 7.0f * tex) + 0.04f * tex);
}

template <bool Night>
struct WarzoneColours {
    static constexpr Float3 A = dn<Night>(0x7c7156, 0x36332e), B = dn<Night>(0x4e4636, 0x1f1e1c);
};

template <bool Night>
Float3 warzoneGround(const GroundColor&, float x, float y, float tex) {
    using C = WarzoneColours<Night>;
    return mix(C::A, C::B, 0.55f * S((tex - 0.15f) / 0.65f)) *
           (1.0f + 0.07f * valueNoise(x / 9.0f, y / 9.0f, 91) + 0.05f * grain(x, y) +
            0.035f * smoothstep(0.3f, 0.7f, tex) * steady::sin((0.6f * x - 0.8f * y) / 5.0f + 8.0f * tex));
}

void warzoneTable(const GroundColor&, const float* xs, std::size_t n, float* out) { noiseFields(xs, n, 9.0f, out); }

template <bool Night>
struct SeaColours {
    static constexpr Float3 T = dn<Night>(0x0f5c86, 0x082440), B = dn<Night>(0x083f66, 0x04152a);
    static constexpr Float3 K{0.10f, 0.12f, 0.15f};
};

// k[0..3] as for the archipelago glint, used at night only.
template <bool Night>
Float3 seaGround(const GroundColor& g, float x, float y, float tex) {
    using C = SeaColours<Night>;
    const Float3 c = mix(C::T, C::B, y / g.h) *
                     (1.0f + 0.06f * tex + 0.02f * steady::sin((0.6f * x - 0.8f * y) / 23.0f + 5.0f * tex));
    if constexpr (!Night) {
        return c;
    } else {
        const float m = glint(g, x, y);
        return c + C::K * m * (1.0f + 0.7f * grain(x, y));
    }
}

template <bool Night>
struct PondColours {
    static constexpr Float3 U = dn<Night>(0x2a6a64, 0x0c2a2c), V = dn<Night>(0x1f5856, 0x081f22);
    static constexpr Float3 W = dn<Night>(0x2e6448, 0x0d2a22);
};

// k[0]: caustic strength; the pond's caustic light lives here rather than in the shading.
template <bool Night>
Float3 pondGround(const GroundColor& g, float x, float y, float tex) {
    using C = PondColours<Night>;
    Float3 c = mix(C::U, C::V, smoothstep(-0.3f, 1.3f, 0.4f * tex + y / g.h));
    c = mix(c, C::W, 0.35f * S((tex - 0.2f) / 0.7f));
    return c * (1.0f + 0.05f * tex + g.k[0] * caustic(x, y));
}

void pondTable(const GroundColor&, const float* xs, std::size_t n, float* out) { CausticRow::columns(xs, n, out); }

#define VEC_NS vec8
#define VEC_N 8
#define VEC_INLINE VEC8_INLINE
#define VEC_LAMBDA VEC8_LAMBDA
namespace g8 {
#include "Renderer/GroundRuns.inc"
}  // namespace g8

#define VEC_NS vec16
#define VEC_N 16
#define VEC_INLINE VEC16_INLINE
#define VEC_LAMBDA VEC16_LAMBDA
namespace g16 {
#include "Renderer/GroundRuns.inc"
}  // namespace g16

GROUND_RUN(archipelago)
GROUND_RUN(canyon)
GROUND_RUN(orbit)
GROUND_RUN(winter)
GROUND_RUN(reef)
GROUND_RUN(warzone)
GROUND_RUN(sea)
GROUND_RUN(pond)

// The street grounds stay eight lanes wide.
using g8::put;
using g8::RunGrain;

// ---------------------------------------------------------------------------------------------------
// The street plan, shared by the city and the skyline.

constexpr float kStreet = 20;  // street width, the first cell column and row of a superblock

struct Lattice {
    int32_t bx, by;
    float lx, ly;
};

inline Lattice lattice(float x, float y) {
    const float px = x + 2.0f, py = y + 2.0f;
    const float fbx = std::floor(px / 160.0f), fby = std::floor(py / 140.0f);
    return {palette::toInt32(fbx), palette::toInt32(fby), px - 160.0f * fbx, py - 140.0f * fby};
}

enum class Mark { asphalt, crosswalk, centreLine };

// Markings of the street band (lx < 20 or ly < 20); the intersection is plain.
inline Mark streetMark(float lx, float ly, float x, float y) {
    if (lx < kStreet && ly < kStreet) return Mark::asphalt;
    float a, c, u;  // distance along from the intersection, position across, running coordinate
    if (lx < kStreet) {
        a = std::min(ly - kStreet, 140.0f - ly);
        c = lx;
        u = y;
    } else {
        a = std::min(lx - kStreet, 160.0f - lx);
        c = ly;
        u = x;
    }
    if (1.5f < a && a < 6.0f && std::fmod(c, 3.0f) < 1.5f) return Mark::crosswalk;
    if (std::fabs(c - 10.0f) < 0.5f && std::fmod(u, 14.0f) < 7.0f) return Mark::centreLine;
    return Mark::asphalt;
}

// Distance to the nearest street edge of the block interior.
inline float kerb(float lx, float ly) {
    return std::min(std::min(lx - kStreet, 160.0f - lx), std::min(ly - kStreet, 140.0f - ly));
}

template <bool Night>
struct CityColours {
    static constexpr Float3 P = dn<Night>(0xd5d9de, 0x40454f), G1 = dn<Night>(0x74a456, 0x2a4634);
    static constexpr Float3 G2 = dn<Night>(0x5e7a45, 0x22392b), W1 = dn<Night>(0x5b95a6, 0x1c3541);
    static constexpr Float3 W2 = dn<Night>(0x3f7a8f, 0x152a36), R = dn<Night>(0xa08060, 0x40362f);
    static constexpr Float3 Q = dn<Night>(0xd8ccae, 0x4b4943), L = dn<Night>(0xbcc1c8, 0x343843);
    static constexpr Float3 X = dn<Night>(0xe4e7eb, 0x575d69), J = dn<Night>(0xf2d372, 0x8a7b4a);
    static constexpr Float3 A = dn<Night>(0x595e69, 0x23262e);
    static constexpr Float3 K = dn<Night>(0x676c75, 0x2a2d35), Y = dn<Night>(0xe6e9ec, 0x707682);
    static constexpr Float3 F = dn<Night>(0x6fb2c4, 0x1f4556);
    static constexpr Float3 M = dn<Night>(0xe6e2d9, 0x5a5c66), Z = dn<Night>(0xcbc6bc, 0x3a3b44);
};

template <bool Night>
struct SkylineColours {
    static constexpr Float3 P = dn<Night>(0xd6d2c6, 0x41434a), A = dn<Night>(0x8cc266, 0x2c4434);
    static constexpr Float3 B = dn<Night>(0x83b95f, 0x294031), D = dn<Night>(0xe2d29e, 0x4b473a);
    static constexpr Float3 W1 = dn<Night>(0x5aa7d4, 0x1a374f), W2 = dn<Night>(0x4790c2, 0x132d46);
    static constexpr Float3 Q = dn<Night>(0xe4dbc2, 0x4c4941), X = dn<Night>(0xe6e8ea, 0x575c66);
    static constexpr Float3 J = dn<Night>(0xf1eee4, 0x6a6b66), K = dn<Night>(0x686c75, 0x24272f);
};

template <bool Night>
Float3 carParkGround(float lx, float ly, float tex) {
    using C = CityColours<Night>;
    Float3 c = C::K * (1.0f + 0.05f * tex);
    const float s = (lx - 37.5f) / 7.0f;  // stalls 7 pt wide from lx = 37.5
    const float j = std::fabs(s - std::round(s)) * 7.0f;
    const float mid = (s - std::floor(s) - 0.5f) * 7.0f;
    const float stain = 1.0f - (mid * mid) / 5.0f;
    for (const float b : Streets::bays) {
        if (b <= ly && ly <= b + 14.0f && -0.05f < s && s < 15.05f) {
            if (j < 0.35f) return C::Y;
            const float r = ly - b - 7.0f;
            const float e = stain - (r * r) / 18.0f;
            if (e >= 0) c = c * (1.0f - 0.08f * std::min(e, 1.0f));
        }
    }
    const float back = std::min(std::fabs(ly - 36.0f), std::min(std::fabs(ly - 80.0f), std::fabs(ly - 124.0f)));
    if (0 < s && s < 15.0f && back < 0.35f) return C::Y;
    return c;
}

// The plaza disc around the fountain; false outside it (r ≥ 34).
template <bool Night>
bool plazaGround(float lx, float ly, float tex, Float3& out) {
    using C = CityColours<Night>;
    const float dx = lx - Streets::middle.x, dy = ly - Streets::middle.y;
    const float r = std::sqrt(dx * dx + dy * dy);
    if (!(r < 34.0f)) return false;
    if (r < 13.0f) {
        out = mix(C::F, C::W2, 0.4f * r / 13.0f);
    } else if (r < 15.5f) {
        out = r < 13.6f ? C::M * 0.85f : C::M;
    } else {
        // Paving in rings 4 pt wide, each cut into stones about 5 pt long.
        const Float3 paving = C::Z * (1.0f + 0.05f * tex);
        const float ring = std::floor(r / 4.0f);
        bool joint = r - 4.0f * ring < 0.45f;
        if (!joint) {
            const float n = std::max(std::round(6.283185f * 4.0f * (ring + 0.5f) / 5.0f), 6.0f);
            const float theta = steady::atan2(dy, dx);
            const float q = n * (theta / 6.283185f + 0.5f);
            joint = (q - std::floor(q)) * 2.0f * 3.1415925f * r / n < 0.45f;
        }
        out = joint ? paving * 0.92f : paving;
    }
    return true;
}

template <bool Night>
Float3 cityGround(const GroundColor&, float x, float y, float tex) {
    using C = CityColours<Night>;
    constexpr Float3 P = C::P, G1 = C::G1, G2 = C::G2, W1 = C::W1, W2 = C::W2, R = C::R, Q = C::Q, L = C::L;
    constexpr Float3 X = C::X, J = C::J, A = C::A;

    const Lattice at = lattice(x, y);
    const float lx = at.lx, ly = at.ly;
    if (lx < kStreet || ly < kStreet) {
        switch (streetMark(lx, ly, x, y)) {
        case Mark::crosswalk: return X;
        case Mark::centreLine: return J;
        case Mark::asphalt: return A;
        }
    }
    if (kerb(lx, ly) < 3.0f) return P;

    if (Streets::park(at.bx, at.by)) {
        const Streets::Parkway way = Streets::parkway(at.bx, at.by, lx, ly, Streets::Trig::steady);
        const Float3 ground = mix(G1 * (1.0f + 0.08f * tex), G2, clamp((3.0f - way.pond) / 2.0f, 0.0f, 1.0f));
        const Float3 water = mix(W1, W2, clamp(-way.pond / 8.0f, 0.0f, 1.0f)) * (1.0f + 0.04f * tex);
        const Float3 c = mix(ground, water, clamp(0.5f - way.pond / 0.6f, 0.0f, 1.0f));
        const Float3 path = way.pond < 0.5f ? R : Q * (1.0f + 0.05f * tex);  // a bridge over the water
        return mix(c, path, clamp((2.2f - way.path) / 0.6f + 0.5f, 0.0f, 1.0f));
    }
    if (Streets::carPark(at.bx, at.by)) return carParkGround<Night>(lx, ly, tex);
    if (Streets::vacant(at.bx, at.by)) {
        Float3 plaza;
        if (plazaGround<Night>(lx, ly, tex, plaza)) return plaza;
    }
    // Block ground with an 8-pt grid of seams; fmod keeps the sign of its first argument.
    const Float3 block = L * (1.0f + 0.04f * tex);
    return std::min(std::fmod(y, 8.0f), std::fmod(x, 8.0f)) < 0.5f ? block * 0.94f : block;
}

template <bool Night>
Float3 skylineGround(const GroundColor&, float x, float y, float tex) {
    using C = SkylineColours<Night>;
    constexpr Float3 P = C::P, A = C::A, B = C::B, D = C::D, W1 = C::W1, W2 = C::W2, Q = C::Q, X = C::X, J = C::J;
    constexpr Float3 K = C::K;

    const Lattice at = lattice(x, y);
    const float lx = at.lx, ly = at.ly;
    if (lx < kStreet || ly < kStreet) {
        switch (streetMark(lx, ly, x, y)) {
        case Mark::crosswalk: return X;
        case Mark::centreLine: return J;
        case Mark::asphalt: return K * (1.0f + 0.04f * tex);
        }
    }
    if (kerb(lx, ly) < 3.5f) return P * (1.0f + 0.03f * tex);

    // A checkerboard of 10-pt lawn squares; the square indices truncate toward zero.
    const int64_t cx = palette::toInt32((x + 2.0f) / 10.0f), cy = palette::toInt32((y + 2.0f) / 10.0f);
    const Float3 lawn = (((cx + cy) & 1) == 0 ? A : B) * (1.0f + 0.05f * tex);
    if (Streets::park(at.bx, at.by)) {
        const Streets::Parkway way = Streets::parkway(at.bx, at.by, lx, ly, Streets::Trig::steady);
        const Float3 ground = mix(lawn, D, clamp((2.5f - way.pond) / 1.5f, 0.0f, 1.0f));  // a sandy beach
        const Float3 water = mix(W1, W2, clamp(-way.pond / 10.0f, 0.0f, 1.0f)) * (1.0f + 0.04f * tex);
        const Float3 c = mix(ground, water, clamp(0.5f - way.pond / 0.6f, 0.0f, 1.0f));
        // Paths stop a point short of the pond: the skyline has no bridges.
        if (way.pond > 1.0f)
            return mix(c, Q * (1.0f + 0.04f * tex), clamp((2.2f - way.path) / 0.6f + 0.5f, 0.0f, 1.0f));
        return c;
    }
    return lawn;
}

// The run forms of the city and skyline grounds. Everything of the street plan that depends on x alone
// sits in a column table, the row's part is worked out once per run; streets, pavements, block ground,
// lawns, car parks, plazas and parks are then chosen lane by lane. A park's layout is worked out once
// per block and row.
enum StreetField { kLx, kBx, kCrossAlong, kStripeAcross, kCentreAcross, kDashAlong, kKerbX, kSeamX, kLawnX, kStreetFields };

void streetTable(const GroundColor&, const float* xs, std::size_t n, float* out) {
    for (std::size_t k = 0; k < n; ++k) {
        const float x = xs[k];
        const Lattice at = lattice(x, 0.0f);
        const float lx = at.lx;
        const float a = std::min(lx - kStreet, 160.0f - lx);  // along an east-west street
        out[kLx * n + k] = lx;
        out[kBx * n + k] = static_cast<float>(at.bx);
        out[kCrossAlong * n + k] = 1.5f < a && a < 6.0f ? 1.0f : 0.0f;
        out[kStripeAcross * n + k] = std::fmod(lx, 3.0f) < 1.5f ? 1.0f : 0.0f;  // across a north-south one
        out[kCentreAcross * n + k] = std::fabs(lx - 10.0f) < 0.5f ? 1.0f : 0.0f;
        out[kDashAlong * n + k] = std::fmod(x, 14.0f) < 7.0f ? 1.0f : 0.0f;
        out[kKerbX * n + k] = std::min(lx - kStreet, 160.0f - lx);
        out[kSeamX * n + k] = std::fmod(x, 8.0f);
        out[kLawnX * n + k] = static_cast<float>(palette::toInt32((x + 2.0f) / 10.0f) & 1);
    }
}

// What the street plan puts at eight points of one row: the marking of street lanes, the pavement,
// and the block questions.
struct Plot {
    Ivec8 street, crosswalk, centre, pavement, park, carPark, vacant;
    Ivec8 bx;
    Vec8 lx, ly;
};

struct StreetRow {
    float ly;
    int32_t by;
    bool eastWest;               // the row runs along an east-west street (ly < 20)
    bool crossAlong, dashAlong;  // north-south street: crosswalk stretch, centre-line dash
    bool stripeAcross, centreAcross;  // east-west street: crosswalk stripe, centre line
    float kerbY;

    explicit StreetRow(float y) {
        const Lattice at = lattice(0.0f, y);
        ly = at.ly;
        by = at.by;
        eastWest = ly < kStreet;
        const float a = std::min(ly - kStreet, 140.0f - ly);
        crossAlong = 1.5f < a && a < 6.0f;
        dashAlong = std::fmod(y, 14.0f) < 7.0f;
        stripeAcross = std::fmod(ly, 3.0f) < 1.5f;
        centreAcross = std::fabs(ly - 10.0f) < 0.5f;
        kerbY = std::min(ly - kStreet, 140.0f - ly);
    }

    VEC8_INLINE Plot at(const GroundRun& in, std::size_t k, float kerbWidth) const {
        using namespace vec8;
        auto field = [&](int which) VEC8_LAMBDA { return load(in.table + which * in.tableStride + k); };
        auto flag = [&](int which) VEC8_LAMBDA { return field(which) != 0.0f; };
        auto rowFlag = [](bool b) VEC8_LAMBDA { return splati(b ? -1 : 0); };
        Plot p;
        p.lx = field(kLx);
        p.ly = splat(ly);
        const Ivec8 northSouth = p.lx < kStreet;
        p.street = northSouth | rowFlag(eastWest);
        const Ivec8 crossing = northSouth & rowFlag(eastWest);
        // North-south lanes mark by the row's distance along and their column across; east-west ones
        // the other way round.
        const Ivec8 cwNS = rowFlag(crossAlong) & flag(kStripeAcross), cwEW = flag(kCrossAlong) & rowFlag(stripeAcross);
        const Ivec8 clNS = flag(kCentreAcross) & rowFlag(dashAlong), clEW = rowFlag(centreAcross) & flag(kDashAlong);
        p.crosswalk = ~crossing & (northSouth ? cwNS : cwEW);
        p.centre = ~crossing & ~p.crosswalk & (northSouth ? clNS : clEW);
        const Vec8 kx = field(kKerbX);
        const Vec8 e = stdMin(kx, splat(kerbY));
        p.pavement = ~p.street & (e < kerbWidth);
        p.bx = truncate(field(kBx));
        const Uvec8 bx = (Uvec8)p.bx, byv = (Uvec8)splati(by);
        p.park = cornerValue(bx, byv, 24301u * 0x9E3779B1u) < -0.45f;
        p.vacant = ~p.park & (cornerValue(bx, byv, 21u * 0x9E3779B1u) <= -0.4f);
        p.carPark = p.vacant & (cornerValue(bx, byv, 31u * 0x9E3779B1u) > -0.3f);
        return p;
    }
};

// A park block's layout for one row: its paths and pond, and the north-south path's terms, which
// depend on the row alone.
struct ParkRow {
    int32_t bx = 0;
    bool known = false;
    Streets::Paths paths;
    std::optional<Streets::Pond> pond;
    float nsCentre = 0, nsScale = 1;

    void set(int32_t x, int32_t y, float ly) {
        bx = x;
        known = true;
        paths = Streets::paths(x, y);
        pond = Streets::pond(x, y, paths);
        if (paths.northSouth) {
            const Streets::Meander& m = *paths.northSouth;
            const float arg = m.frequency * ly + m.phase;
            const float slope = m.amplitude * m.frequency * steady::cos(arg);
            nsCentre = m.offset + m.amplitude * steady::sin(arg);
            nsScale = std::sqrt(1.0f + slope * slope);
        }
    }

    // parkway() in every lane.
    VEC8_INLINE void parkway(Vec8 lx, float ly, Vec8& path, Vec8& water) const {
        using namespace vec8;
        constexpr float inf = std::numeric_limits<float>::infinity();
        Vec8 dEW = splat(inf), dNS = splat(inf);
        if (paths.eastWest) {
            const Streets::Meander& m = *paths.eastWest;
            const Vec8 arg = m.frequency * lx + m.phase;
            const Vec8 cosine = vec8::cos(arg);
            const Vec8 sine = vec8::sin(arg);
            const Vec8 slope = m.amplitude * m.frequency * cosine;
            dEW = fabs(ly - (m.offset + m.amplitude * sine)) / sqrt(1.0f + slope * slope);
        }
        if (paths.northSouth) dNS = fabs(lx - nsCentre) / nsScale;
        path = stdMin(dNS, dEW);
        water = splat(inf);
        if (pond) {
            const Streets::Pond& o = *pond;
            const Vec8 nx = (lx - o.cx) / o.rx;
            const float ny = (ly - o.cy) / o.ry;
            const Vec8 theta = vec8::atan2(splat(ny), nx);
            const Vec8 a1 = o.phi + 3.0f * theta, a2 = 2.0f * o.phi + 5.0f * theta;
            const Vec8 s1 = vec8::sin(a1);
            const Vec8 s2 = vec8::sin(a2);
            water = (sqrt(nx * nx + ny * ny) - 1.0f - 0.13f * s1 - 0.06f * s2) * o.ry;
        }
    }
};

// Runs `paint(block, lanes)` for each park block among the lanes of one group, keeping the last block.
template <class F>
VEC8_INLINE void eachParkBlock(ParkRow& cache, Ivec8 lanes, Ivec8 bx, int32_t by, float ly, F paint) {
    while (vec8::any(lanes)) {
        int first = 0;
        while (!lanes[first]) ++first;
        const int32_t b = bx[first];
        if (!cache.known || cache.bx != b) cache.set(b, by, ly);
        const Ivec8 these = lanes & (bx == b);
        paint(cache, these);
        lanes &= ~these;
    }
}

// std::round on eight lanes (halves away from zero) for |s| < 2²³; a zero result is +0, which the car
// park only ever subtracts from s.
VEC8_INLINE Vec8 roundHalfAway(Vec8 s) {
    using namespace vec8;
    const Vec8 t = toFloat(truncate(s));
    const Vec8 frac = s - t;
    return select(fabs(frac) >= 0.5f, t + select(s < 0.0f, splat(-1.0f), splat(1.0f)), t);
}

template <bool Night>
VEC8_INLINE vec8::Rgb8 carPark8(Vec8 lx, float ly, Vec8 tex) {
    using namespace vec8;
    using C = CityColours<Night>;
    Rgb8 c = C::K * (1.0f + 0.05f * tex);
    const Vec8 s = (lx - 37.5f) / 7.0f;
    const Vec8 j = fabs(s - roundHalfAway(s)) * 7.0f;
    const Vec8 mid = (s - floorTrunc(s) - 0.5f) * 7.0f;
    const Vec8 stain = 1.0f - (mid * mid) / 5.0f;
    Ivec8 line = splati(0);
    for (const float b : Streets::bays) {
        if (!(b <= ly && ly <= b + 14.0f)) continue;
        const Ivec8 in = ~line & (-0.05f < s) & (s < 15.05f);
        const Ivec8 divider = in & (j < 0.35f);
        line |= divider;
        const float r = ly - b - 7.0f;
        const Vec8 e = stain - (r * r) / 18.0f;
        c = select(in & ~divider & (e >= 0.0f), c * (1.0f - 0.08f * stdMin(e, splat(1.0f))), c);
    }
    const float back = std::min(std::fabs(ly - 36.0f), std::min(std::fabs(ly - 80.0f), std::fabs(ly - 124.0f)));
    if (back < 0.35f) line |= (0.0f < s) & (s < 15.0f);
    return select(line, C::Y, c);
}

// The plaza disc; `inside` is false where r ≥ 34.
template <bool Night>
VEC8_INLINE vec8::Rgb8 plaza8(Vec8 lx, float ly, Vec8 tex, Ivec8 wanted, Ivec8& inside) {
    using namespace vec8;
    using C = CityColours<Night>;
    const Vec8 dx = lx - Streets::middle.x;
    const float dy = ly - Streets::middle.y;
    const Vec8 r = sqrt(dx * dx + dy * dy);
    inside = r < 34.0f;
    const Rgb8 basin = mix(C::F, C::W2, 0.4f * r / 13.0f);
    const Rgb8 rim = select(r < 13.6f, splat(C::M * 0.85f), splat(C::M));
    const Rgb8 paving = C::Z * (1.0f + 0.05f * tex);
    const Vec8 ring = floorTrunc(r / 4.0f);
    Ivec8 joint = r - 4.0f * ring < 0.45f;
    const Ivec8 stones = wanted & inside & ~(r < 15.5f) & ~joint;
    if (any(stones)) {
        const Vec8 n = stdMax(roundHalfAway(6.283185f * 4.0f * (ring + 0.5f) / 5.0f), splat(6.0f));
        const Vec8 theta = vec8::atan2(splat(dy), dx);
        const Vec8 q = n * (theta / 6.283185f + 0.5f);
        joint |= stones & ((q - floorTrunc(q)) * 2.0f * 3.1415925f * r / n < 0.45f);
    }
    const Rgb8 paved = select(joint, paving * 0.92f, paving);
    return select(r < 13.0f, basin, select(r < 15.5f, rim, paved));
}

template <bool Night>
VEC8_INLINE void cityBody(const GroundColor&, const GroundRun& in) {
    using namespace vec8;
    using C = CityColours<Night>;
    const StreetRow row(in.y);
    ParkRow park;
    const float seamY = std::fmod(in.y, 8.0f);
    for (std::size_t k = 0; k < in.n; k += kLanes) {
        const Vec8 tex = load(in.tex + k);
        const Plot p = row.at(in, k, 3.0f);
        const Rgb8 block = C::L * (1.0f + 0.04f * tex);
        const Vec8 seam = stdMin(splat(seamY), load(in.table + kSeamX * in.tableStride + k));
        Rgb8 c = select(seam < 0.5f, block * 0.94f, block);
        const Ivec8 open = ~p.street & ~p.pavement;
        if (any(open & p.carPark)) c = select(p.carPark, carPark8<Night>(p.lx, row.ly, tex), c);
        const Ivec8 square = open & p.vacant & ~p.carPark;
        if (any(square)) {
            Ivec8 inside;
            const Rgb8 plaza = plaza8<Night>(p.lx, row.ly, tex, square, inside);
            c = select(square & inside, plaza, c);
        }
        c = select(p.pavement, C::P, c);
        c = select(p.street, select(p.crosswalk, C::X, select(p.centre, C::J, splat(C::A))), c);
        const Ivec8 parks = open & p.park;
        if (any(parks)) {
            eachParkBlock(park, parks, p.bx, row.by, row.ly, [&](const ParkRow& block, Ivec8 lanes) VEC8_LAMBDA {
                Vec8 path, pond;
                block.parkway(p.lx, row.ly, path, pond);
                const Rgb8 ground = mix(C::G1 * (1.0f + 0.08f * tex), C::G2, clamp((3.0f - pond) / 2.0f, 0.0f, 1.0f));
                const Rgb8 water = mix(C::W1, C::W2, clamp(-pond / 8.0f, 0.0f, 1.0f)) * (1.0f + 0.04f * tex);
                const Rgb8 land = mix(ground, water, clamp(0.5f - pond / 0.6f, 0.0f, 1.0f));
                const Rgb8 walk = select(pond < 0.5f, splat(C::R), C::Q * (1.0f + 0.05f * tex));  // a bridge
                c = select(lanes, mix(land, walk, clamp((2.2f - path) / 0.6f + 0.5f, 0.0f, 1.0f)), c);
            });
        }
        put(in, k, c);
    }
}
GROUND_RUN8(city)

template <bool Night>
VEC8_INLINE void skylineBody(const GroundColor&, const GroundRun& in) {
    using namespace vec8;
    using C = SkylineColours<Night>;
    const StreetRow row(in.y);
    ParkRow park;
    const int32_t lawnY = palette::toInt32((in.y + 2.0f) / 10.0f) & 1;
    for (std::size_t k = 0; k < in.n; k += kLanes) {
        const Vec8 tex = load(in.tex + k);
        const Plot p = row.at(in, k, 3.5f);
        const Ivec8 even = (truncate(load(in.table + kLawnX * in.tableStride + k)) ^ lawnY) == 0;
        const Rgb8 lawn = select(even, splat(C::A), splat(C::B)) * (1.0f + 0.05f * tex);
        Rgb8 c = lawn;
        c = select(p.pavement, C::P * (1.0f + 0.03f * tex), c);
        const Rgb8 asphalt = C::K * (1.0f + 0.04f * tex);
        c = select(p.street, select(p.crosswalk, C::X, select(p.centre, C::J, asphalt)), c);
        const Ivec8 parks = ~p.street & ~p.pavement & p.park;
        if (any(parks)) {
            eachParkBlock(park, parks, p.bx, row.by, row.ly, [&](const ParkRow& block, Ivec8 lanes) VEC8_LAMBDA {
                Vec8 path, pond;
                block.parkway(p.lx, row.ly, path, pond);
                const Rgb8 ground = mix(lawn, C::D, clamp((2.5f - pond) / 1.5f, 0.0f, 1.0f));
                const Rgb8 water = mix(C::W1, C::W2, clamp(-pond / 10.0f, 0.0f, 1.0f)) * (1.0f + 0.04f * tex);
                const Rgb8 land = mix(ground, water, clamp(0.5f - pond / 0.6f, 0.0f, 1.0f));
                const Rgb8 walked =
                    mix(land, C::Q * (1.0f + 0.04f * tex), clamp((2.2f - path) / 0.6f + 0.5f, 0.0f, 1.0f));
                c = select(lanes, select(pond > 1.0f, walked, land), c);
            });
        }
        put(in, k, c);
    }
}
GROUND_RUN8(skyline)

template <bool Night>
struct FacadeColours {
    static constexpr Float3 lit = rgb(0xffd27f);
    static constexpr Float3 glass = dn<Night>(0xa9c6dd, 0x161a22), wall = dn<Night>(0x646b7a, 0x242832);
};

// Office walls: three rows of windows under the roof edge, one brightness per 40-pt stretch of wall.
template <bool Night>
Float3 cityFacade(const FacadeColor&, float x, float depth) {
    using C = FacadeColours<Night>;
    const float k = 1.0f + 0.12f * palette::corner(palette::toInt32(std::floor((x + 2.0f) / 40.0f)), 0, 3);
    if (depth < 15.0f) {
        const float row = std::floor(depth / 5.0f);
        const float rr = depth - 5.0f * row;
        const float col = std::floor((x + 2.0f) / 5.0f);
        const float cc = (x + 2.0f) - 5.0f * col;
        if (1.3f < rr && rr < 3.7f && 1.2f < cc && cc < 3.8f) {
            if (Night && palette::corner(palette::toInt32(col), palette::toInt32(row), 7) > 0.1f) return C::lit;
            return C::glass * k;
        }
    }
    return C::wall * k * (1.0f - 0.3f * std::min(depth / 20.0f, 1.0f));
}

template <bool Night>
VEC8_INLINE void cityFacadeBody(const FacadeColor& f, const FacadeRun& in) {
    using namespace vec8;
    using C = FacadeColours<Night>;
    for (std::size_t k = 0; k < in.n; k += kLanes) {
        const Vec8 x = load(in.x + k), depth = load(in.depth + k);
        const Vec8 block = floorStd((x + 2.0f) / 40.0f), col = floorStd((x + 2.0f) / 5.0f);
        const Vec8 row = floorStd(depth / 5.0f);
        Rgb8 c;
        if (!all(inIntRange((x + 2.0f) / 40.0f) & inIntRange((x + 2.0f) / 5.0f) & inIntRange(depth / 5.0f))) {
            for (int l = 0; l < kLanes; ++l) setLane(c, l, cityFacade<Night>(f, x[l], depth[l]));
        } else {
            const Vec8 kk = 1.0f + 0.12f * cornerValue((Uvec8)truncate(block), (Uvec8)splati(0), 3u * 0x9E3779B1u);
            const Vec8 rr = depth - 5.0f * row;
            const Vec8 cc = (x + 2.0f) - 5.0f * col;
            const Ivec8 pane = (depth < 15.0f) & (1.3f < rr) & (rr < 3.7f) & (1.2f < cc) & (cc < 3.8f);
            c = C::wall * kk * (1.0f - 0.3f * stdMin(depth / 20.0f, splat(1.0f)));
            c = select(pane, C::glass * kk, c);
            if constexpr (Night) {
                const Ivec8 lit = pane & (cornerValue((Uvec8)truncate(col), (Uvec8)truncate(row), 7u * 0x9E3779B1u) > 0.1f);
                c = select(lit, C::lit, c);
            }
        }
        store(in.r + k, c.r);
        store(in.g + k, c.g);
        store(in.b + k, c.b);
    }
}
template <bool Night>
VEC8_AVX2 void cityFacadeAvx2(const FacadeColor& f, const FacadeRun& in) {
    cityFacadeBody<Night>(f, in);
}
template <bool Night>
void cityFacadeRun(const FacadeColor& f, const FacadeRun& in) {
    if (vec8::avx2()) {
        cityFacadeAvx2<Night>(f, in);
        return;
    }
    for (std::size_t k = 0; k < in.n; ++k) {
        const Float3 c = cityFacade<Night>(f, in.x[k], in.depth[k]);
        in.r[k] = c.x;
        in.g[k] = c.y;
        in.b[k] = c.z;
    }
}

// ---------------------------------------------------------------------------------------------------
// The tables.

using GroundFn = Float3 (*)(const GroundColor&, float, float, float);
using RunFn = void (*)(const GroundColor&, const GroundRun&);

GroundColor ground(bool night, GroundFn day, GroundFn nightFn, RunFn dayRun, RunFn nightRun, float h,
                   std::initializer_list<float> k = {}) {
    GroundColor g;
    g.fn = night ? nightFn : day;
    g.run = night ? nightRun : dayRun;
    g.h = h;
    g.night = night;
    std::copy(k.begin(), k.end(), g.k);
    return g;
}

GroundColor withTable(GroundColor g, void (*table)(const GroundColor&, const float*, std::size_t, float*),
                      std::size_t fields) {
    g.table = table;
    g.tableFields = fields;
    return g;
}

GroundColor cityBase(bool night) {
    GroundColor g = ground(night, cityGround<false>, cityGround<true>, cityRun<false>, cityRun<true>, 0);
    g.table = streetTable;
    g.tableFields = kStreetFields;
    return g;
}

GroundColor skylineBase(bool night) {
    GroundColor g = ground(night, skylineGround<false>, skylineGround<true>, skylineRun<false>, skylineRun<true>, 0);
    g.table = streetTable;
    g.tableFields = kStreetFields;
    return g;
}

constexpr uint32_t kNoAlt = 0xFFFFFFFFu;  // no 0xRRGGBB colour has bits above 24

struct BandRow {
    float t;
    uint32_t day, night;
    float a, mottle, soft;
    uint32_t altDay, altNight;
    float ragged;
};

std::vector<Band> bands(std::span<const BandRow> rows, bool night) {
    std::vector<Band> out;
    out.reserve(rows.size());
    for (const BandRow& r : rows) {
        Band b;
        b.t = r.t;
        b.c = rgb(night ? r.night : r.day);
        b.a = r.a;
        b.mottle = r.mottle;
        b.soft = r.soft;
        if (r.altDay != kNoAlt) b.alt = rgb(night ? r.altNight : r.altDay);
        b.ragged = r.ragged;
        out.push_back(b);
    }
    return out;
}

struct Scalars {
    float cliff;
    uint32_t lightDay, lightNight, darkDay, darkNight;
    Float2 shadow;
    Float3 tintDay, tintNight;
    float causticDay, causticNight, reliefDay, reliefNight, deepDay, deepNight;
    float grain, ripple, penumbra;
};

// clang-format off
constexpr BandRow kArchipelagoWater[] = {
    {0.02f,  0x1f7fa6, 0x0f3658, 1,    0,    0.02f,  kNoAlt,   kNoAlt,   0.02f},
    {0.06f,  0x3aa6b5, 0x175068, 1,    0,    0.012f, kNoAlt,   kNoAlt,   0.025f},
    {0.1f,   0x62c4c0, 0x215f72, 1,    0.1f, 0.03f,  0x4fa79a, 0x1f5560, 0.03f},
    {0.165f, 0x93d8cc, 0x2e7280, 0.9f, 0,    0.015f, kNoAlt,   kNoAlt,   0.02f},
    {0.215f, 0xf4fbf8, 0x9db8c6, 0.8f, 0,    0.006f, kNoAlt,   kNoAlt,   0.012f},
};
constexpr BandRow kArchipelagoLand[] = {
    {0.235f, 0xd2bc8a, 0x6e654f, 1, 0.03f, 0,      kNoAlt,   kNoAlt,   0},
    {0.25f,  0xf0dcaa, 0x8e7d61, 1, 0.04f, 0.008f, kNoAlt,   kNoAlt,   0},
    {0.32f,  0x3e7d39, 0x22412e, 1, 0.1f,  0.012f, 0x6e9442, 0x2e4a30, 0.035f},
};
constexpr BandRow kCanyonWater[] = {
    {0.05f, 0xd9a274, 0x3e3c46, 0.55f, 0, 0.04f, kNoAlt, kNoAlt, 0.03f},
    {0.11f, 0xc98e62, 0x37343e, 0.5f,  0, 0.03f, kNoAlt, kNoAlt, 0.04f},
};
constexpr BandRow kCanyonLand[] = {
    {0.3f,   0xefb283, 0x6a585e, 1, 0.04f, 0,      kNoAlt,   kNoAlt,   0},
    {0.335f, 0xd9895a, 0x5a4750, 1, 0.1f,  0.012f, 0xb86a44, 0x503e47, 0.03f},
    {0.55f,  0xb4673f, 0x4e3d47, 1, 0.1f,  0.14f,  0xa05834, 0x45353e, 0.05f},
};
constexpr BandRow kOrbitWater[] = {
    {0.14f, 0x9dbbff, 0x7a90e0, 0.05f, 0, 0.04f, kNoAlt, kNoAlt, 0},
};
constexpr BandRow kOrbitLand[] = {
    {0.3f,  0xc9c4c8, 0x77748c, 1, 0.05f, 0,      kNoAlt,   kNoAlt,   0},
    {0.34f, 0x9d98a2, 0x58556e, 1, 0.16f, 0.015f, 0x77727e, 0x45425a, 0.04f},
    {0.55f, 0x7c7785, 0x4a475f, 1, 0.14f, 0.14f,  0x6a6573, 0x3e3b52, 0.05f},
};
constexpr BandRow kCityLand[] = {
    {0.5f, 0xc5cbd3, 0x4a5060, 1, 0,     0, kNoAlt,   kNoAlt,   0},
    {0.9f, 0x6c7480, 0x2f3441, 1, 0.12f, 0, 0x756e63, 0x35322f, 0},
};
// One land band far above any terrain height: every skyline pixel is its ground colour.
constexpr BandRow kSkylineLand[] = {
    {9, 0x8cc266, 0x2c4434, 1, 0, 0, kNoAlt, kNoAlt, 0},
};
constexpr BandRow kWinterWater[] = {
    {0.05f, 0x5f8aa6, 0x22395a, 1,     0,     0.025f, kNoAlt,   kNoAlt,   0.012f},
    {0.1f,  0xc2d6e2, 0x5e7a9c, 0.92f, 0.05f, 0.008f, kNoAlt,   kNoAlt,   0.014f},
    {0.18f, 0xe6f0f6, 0x8ea3bd, 1,     0,     0.012f, 0xd2e2ec, 0x7e93ad, 0.03f},
};
constexpr BandRow kWinterLand[] = {
    {0.235f, 0xf3f7fa, 0xb4c2d4, 1, 0.02f, 0,     kNoAlt,   kNoAlt,   0},
    {0.33f,  0x355246, 0x1c2e28, 1, 0.16f, 0.02f, 0x71879a, 0x3a4c5c, 0.05f},
};
constexpr BandRow kReefWater[] = {
    {0.08f, 0x4e9fa6, 0x0f3448, 0.55f, 0, 0.05f, kNoAlt, kNoAlt, 0.04f},
};
constexpr BandRow kReefLand[] = {
    {0.24f, 0xc9b48c, 0x5e5266, 1, 0.06f, 0,      kNoAlt,   kNoAlt,   0},
    {0.29f, 0x5e6a52, 0x2a3a45, 1, 0.18f, 0.015f, 0x7a7258, 0x3a3448, 0.04f},
};
constexpr BandRow kWarzoneWater[] = {
    {0.08f, 0x6a5f48, 0x2c2a26, 0.6f, 0, 0.05f, kNoAlt, kNoAlt, 0.05f},
};
constexpr BandRow kWarzoneLand[] = {
    {0.24f,  0xa08a62, 0x5a5244, 1, 0.08f, 0,     kNoAlt,   kNoAlt,   0},
    {0.285f, 0x5e6a3c, 0x2d3a2a, 1, 0.14f, 0.02f, 0x7a7448, 0x3a3e2e, 0.05f},
};
constexpr BandRow kSeaWater[] = {
    {0.03f, 0x176e92, 0x0b2f4c, 0.8f, 0,     0.03f,  kNoAlt, kNoAlt, 0.015f},
    {0.09f, 0x2f97aa, 0x124058, 1,    0.05f, 0.03f,  kNoAlt, kNoAlt, 0.02f},
    {0.15f, 0x5dbdba, 0x1e5562, 1,    0.04f, 0.025f, kNoAlt, kNoAlt, 0.015f},
};
constexpr BandRow kSeaLand[] = {
    {0.235f, 0x9ad6c6, 0x3f6566, 1, 0.04f, 0,     kNoAlt, kNoAlt, 0},
    {0.31f,  0x2e6656, 0x15342f, 1, 0.22f, 0.01f, kNoAlt, kNoAlt, 0.04f},
};
constexpr BandRow kPondWater[] = {
    {0.04f, 0x2c6f68, 0x0e2e2e, 0.7f,  0,     0.03f, kNoAlt,   kNoAlt,   0.02f},
    {0.1f,  0x3f8474, 0x143936, 0.8f,  0.08f, 0.03f, 0x4e866a, 0x183c34, 0.025f},
    {0.17f, 0x6a9880, 0x22433d, 0.75f, 0.1f,  0.02f, 0x7c9474, 0x2a4538, 0.02f},
};
constexpr BandRow kPondLand[] = {
    {0.235f, 0x7f7b6c, 0x3c3e40, 1, 0.08f, 0,      kNoAlt,   kNoAlt,   0},
    {0.262f, 0x44652b, 0x1e3322, 1, 0.2f,  0.012f, 0x587a33, 0x283f27, 0.035f},
};

//                          cliff  light day/night    dark day/night      shadow    tint day / night                                          caustic      relief       deep         grain  ripple  penumbra
constexpr Scalars kArchipelago{4,  0xddbe86, 0x6e604b, 0xc9a56e, 0x5e523f, {3, 4},   {0.78f, 0.86f, 0.90f}, {0.78f, 0.86f, 0.90f}, 0,     0,    0.45f, 0.45f, 0.12f, 0.12f, 0.06f, 0.05f,  3};
constexpr Scalars kCanyon{22,      0xcb6a43, 0x4c3a42, 0xa14a31, 0x30242b, {16, 12}, {0.78f, 0.66f, 0.72f}, {0.62f, 0.66f, 0.80f}, 0,     0,    0.25f, 0.32f, 0.08f, 0.14f, 0.06f, 0,      5};
constexpr Scalars kOrbit{14,       0x6e6a78, 0x3a3552, 0x524e5c, 0x2b2740, {0, 0},   {1, 1, 1},             {1, 1, 1},             0,     0,    0.6f,  0.6f,  0,     0,     0.1f,  0,      2.5f};
constexpr Scalars kCity{20,        0x000000, 0x000000, 0x000000, 0x000000, {12, 9},  {0.66f, 0.68f, 0.76f}, {0.62f, 0.64f, 0.74f}, 0,     0,    0,     0,     0,     0,     0.05f, 0,      1.5f};
constexpr Scalars kSkyline{0,      0x000000, 0x000000, 0x000000, 0x000000, {0, 0},   {1, 1, 1},             {1, 1, 1},             0,     0,    0,     0,     0,     0,     0.04f, 0,      2.5f};
constexpr Scalars kWinter{5,       0xdce8f1, 0x8c9cb2, 0xbccfdf, 0x75859c, {3, 4},   {0.74f, 0.82f, 0.90f}, {0.74f, 0.82f, 0.90f}, 0,     0,    0.35f, 0.35f, 0,     0,     0.06f, 0.05f,  3};
constexpr Scalars kReef{7,         0x4f6a62, 0x173d4b, 0x3a5550, 0x0f2c39, {5, 7},   {0.72f, 0.84f, 0.88f}, {0.70f, 0.78f, 0.86f}, 0.35f, 0.1f, 0.3f,  0.3f,  0.15f, 0.15f, 0.12f, 0,      4};
constexpr Scalars kWarzone{6,      0x8a6e4a, 0x45392e, 0x6b5238, 0x33291f, {4, 5},   {0.74f, 0.72f, 0.68f}, {0.70f, 0.72f, 0.80f}, 0,     0,    0.4f,  0.4f,  0.3f,  0.3f,  0.12f, 0,      3};
constexpr Scalars kSea{0,          0x000000, 0x000000, 0x000000, 0x000000, {0, 0},   {1, 1, 1},             {1, 1, 1},             0.42f, 0.12f, 0,    0,     0,     0,     0,     0.05f,  2.5f};
constexpr Scalars kPond{5,         0x6c685a, 0x2e3033, 0x4e4a3e, 0x222426, {4, 5},   {0.60f, 0.70f, 0.72f}, {0.70f, 0.76f, 0.82f}, 0,     0,    0.28f, 0.28f, 0.1f,  0.1f,  0.12f, 0.025f, 3};
// clang-format on

void fill(Look& look, bool night, const GroundColor& base, std::span<const BandRow> water,
          std::span<const BandRow> land, const Scalars& s, const FacadeColor& facade) {
    look.base = base;
    look.water = bands(water, night);
    look.land = bands(land, night);
    look.cliff = s.cliff;
    look.cliffLight = rgb(night ? s.lightNight : s.lightDay);
    look.cliffDark = rgb(night ? s.darkNight : s.darkDay);
    look.shadow = s.shadow;
    look.shadowTint = night ? s.tintNight : s.tintDay;
    look.facade = facade;
    look.caustic = night ? s.causticNight : s.causticDay;
    look.relief = night ? s.reliefNight : s.reliefDay;
    look.deep = night ? s.deepNight : s.deepDay;
    look.grain = s.grain;
    look.ripple = s.ripple;
    look.penumbra = s.penumbra;
}

}  // namespace

Look::Look(SceneKind kind, bool night, float height) {
    const float h = height;
    switch (kind) {
    case SceneKind::archipelago:
        fill(*this, night,
             ground(night, archipelagoGround<false>, archipelagoGround<true>, archipelagoRun<false>, archipelagoRun<true>, h,
                    {0.46f * h, 0.27f * h, 0.32f * h, 0.15f * h, night ? 0.7f : 0.25f}),
             kArchipelagoWater, kArchipelagoLand, kArchipelago, {});
        break;
    case SceneKind::canyon: {
        GroundColor g = ground(night, canyonGround<false>, canyonGround<true>, canyonRun<false>, canyonRun<true>, h,
                               {night ? 0.035f : 0.025f});
        g.table = canyonTable;
        g.tableFields = kCanyonFields;
        fill(*this, night, g, kCanyonWater, kCanyonLand, kCanyon, {});
        break;
    }
    case SceneKind::orbit:
        fill(*this, night,
             withTable(ground(night, orbitGround<false>, orbitGround<true>, orbitRun<false>, orbitRun<true>, h),
                       orbitTable, 9),
             kOrbitWater, kOrbitLand, kOrbit, {});
        break;
    case SceneKind::city: {
        FacadeColor offices;
        offices.fn = night ? cityFacade<true> : cityFacade<false>;
        offices.run = night ? cityFacadeRun<true> : cityFacadeRun<false>;
        offices.night = night;
        fill(*this, night, cityBase(night), {}, kCityLand, kCity, offices);
        break;
    }
    case SceneKind::skyline:
        fill(*this, night, skylineBase(night), {}, kSkylineLand,
             kSkyline, {});
        break;
    case SceneKind::winter:
        fill(*this, night, ground(night, winterGround<false>, winterGround<true>, winterRun<false>, winterRun<true>, h), kWinterWater, kWinterLand,
             kWinter, {});
        break;
    case SceneKind::reef:
        fill(*this, night, ground(night, reefGround<false>, reefGround<true>, reefRun<false>, reefRun<true>, h), kReefWater, kReefLand, kReef,
             {});
        break;
    case SceneKind::warzone:
        fill(*this, night,
             withTable(ground(night, warzoneGround<false>, warzoneGround<true>, warzoneRun<false>, warzoneRun<true>, 0),
                       warzoneTable, 3),
             kWarzoneWater, kWarzoneLand, kWarzone, {});
        break;
    case SceneKind::sea:
        fill(*this, night, ground(night, seaGround<false>, seaGround<true>, seaRun<false>, seaRun<true>, h,
                                   {0.46f * h, 0.27f * h, 0.32f * h, 0.15f * h}), kSeaWater, kSeaLand,
             kSea, {});
        break;
    case SceneKind::pond:
        fill(*this, night,
             withTable(ground(night, pondGround<false>, pondGround<true>, pondRun<false>, pondRun<true>, h,
                              {night ? 0.04f : 0.12f}),
                       pondTable, CausticRow::kFields),
             kPondWater, kPondLand, kPond, {});
        break;
    }
}
