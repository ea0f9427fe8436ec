#include "DesktopWindow/LayerHelpers.h"

// The painters' own smoother, header-only and free of any painter state: a course must follow the
// very route the painter checked against the icons.
#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Gradient.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <mutex>
#include <numbers>
#include <unordered_map>

namespace {

std::atomic<bool> gLowPower{false};

struct GlowCache {
    std::mutex lock;
    std::unordered_map<std::string, cg::ImageRef> images;
};

GlowCache& glowCache() {
    static GlowCache cache;  // lives until the process ends
    return cache;
}

void appendShortest(std::string& out, double v) {
    std::array<char, 64> buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), res.ptr);
}

}  // namespace

// --- frame rates and loops ---

void SpriteLayers::setLowPower(bool on) { gLowPower.store(on, std::memory_order_relaxed); }

bool SpriteLayers::lowPower() { return gLowPower.load(std::memory_order_relaxed); }

ca::FrameRateRange SpriteLayers::frameRates() {
    ca::FrameRateRange r;
    if (lowPower()) {
        r.minimum = 8;
        r.maximum = 15;
        r.preferred = 15;
    } else {
        r.minimum = 10;
        r.maximum = 30;
        r.preferred = 30;
    }
    return r;
}

ca::Animation& SpriteLayers::looping(const Sprite& s, ca::Animation& a, double period) {
    a.duration = period;
    a.repeatCount = ca::kForever;
    a.timeOffset = period * s.phase;
    a.preferredFrameRateRange = frameRates();
    return a;
}

// --- picture layer ---

cg::ImageRef SpriteLayers::picture(const Sprite& s) {
    if (s.image) return s.image;
    if (!s.frames.empty()) return s.frames.front();
    return nullptr;
}

ca::Layer& SpriteLayers::imageLayer(const Sprite& s, const cg::ImageRef& image, ca::Layer& layer) {
    const cg::ImageRef pic = image ? image : picture(s);
    layer.setContents(pic);
    if (pic && pic->pixelWidth() > 0) {
        const double w = pic->pixelWidth(), h = pic->pixelHeight();
        layer.setBounds(cg::Rect(0, 0, s.size, s.size * h / w));
    }
    layer.setAnchorPoint(s.anchor);
    layer.setPosition(s.at);
    return layer;
}

// --- course ---

SpriteLayers::Course SpriteLayers::course(const Sprite& s, const Slowing& slow) {
    Course c;
    c.points = rounded(s.path, s.closed, 2);
    const size_t n = c.points.size();
    if (n <= 1) {
        c.times = {0};
        c.headings = {0};
        c.along = {0};
        c.duration = 1;
        c.beat = s.beat;
        return c;
    }
    const auto& p = c.points;

    c.along.resize(n);
    c.along[0] = 0;
    for (size_t k = 0; k + 1 < n; ++k)
        c.along[k + 1] = c.along[k] + std::hypot(p[k + 1].x - p[k].x, p[k + 1].y - p[k].y);

    auto chord = [&](size_t from, size_t to) { return std::atan2(p[to].y - p[from].y, p[to].x - p[from].x); };
    constexpr double twoPi = 2 * std::numbers::pi;
    c.headings.resize(n);
    for (size_t k = 0; k < n; ++k) {
        double h;
        if (k > 0 && k + 1 < n) h = chord(k - 1, k + 1);
        else if (s.closed) h = chord(n - 2, 1);
        else h = k == 0 ? chord(0, 1) : chord(n - 2, n - 1);
        if (k > 0) {
            const double prev = c.headings[k - 1];
            h -= twoPi * std::round((h - prev) / twoPi);
        }
        c.headings[k] = h;
    }

    const double L = std::max(c.along[n - 1], 1.0);
    std::vector<double> t(n, 0.0);
    auto pass = [&](double P) {
        t[0] = 0;
        for (size_t k = 0; k + 1 < n; ++k) {
            double v = s.travel * (1 + (s.ease - 1) * c.along[k] / L) *
                       (1 + s.pulse * std::sin(twoPi * t[k] / P)) * (slow ? slow(c.headings[k]) : 1.0);
            v = v > 0.5 ? v : 0.5;  // NaN counts as the slowest speed
            t[k + 1] = t[k] + (c.along[k + 1] - c.along[k]) / v;
        }
    };

    double P = s.beat > 0.1 ? s.beat : 0.1;
    pass(P);
    if (s.closed && s.pulse != 0) {
        const double whole = std::round(t[n - 1] / P);
        const double times = whole > 1 ? whole : 1;  // NaN and 0 count as one surge per loop
        for (int i = 0; i < 4; ++i) {
            const double next = t[n - 1] / times;
            if (!(next > 0) || !std::isfinite(next)) break;  // a loop of no time has no surge to fit
            P = next;
            pass(P);
        }
    }

    const double last = t[n - 1];
    c.duration = last > 0.1 ? last : 0.1;
    c.times.resize(n);
    for (size_t k = 0; k < n; ++k) c.times[k] = t[k] / c.duration;
    c.beat = P;
    return c;
}

// --- glows ---

double SpriteLayers::blurred(double r, double R, double sigma) {
    constexpr double pi = std::numbers::pi;
    const double twoSigma2 = 2 * sigma * sigma;
    double sum = 0;
    for (int i = 0; i < 24; ++i) {
        const double rho = R * (i + 0.5) / 24;
        for (int j = 0; j < 48; ++j) {
            const double theta = 2 * pi * (j + 0.5) / 48;
            sum += rho * std::exp(-(r * r + rho * rho - 2 * r * rho * std::cos(theta)) / twoSigma2);
        }
    }
    return (R / 24) * (2 * pi / 48) * sum / (2 * pi * sigma * sigma);
}

std::string SpriteLayers::glowKey(uint32_t color, double source, double sigma, double reach, double strength, int side) {
    std::string key = std::to_string(color);
    for (double v : {source, sigma, reach, strength}) {
        key += ' ';
        appendShortest(key, v);
    }
    key += ' ';
    key += std::to_string(side);
    return key;
}

cg::ImageRef SpriteLayers::glowing(uint32_t color, double source, double sigma, double reach, double strength, int side) {
    const std::string key = glowKey(color, source, sigma, reach, strength, side);
    GlowCache& cache = glowCache();
    {
        std::lock_guard<std::mutex> hold(cache.lock);
        if (auto it = cache.images.find(key); it != cache.images.end()) return it->second;
    }

    auto ctx = cg::Context::makeBitmap(side, side, 1);
    if (!ctx) return nullptr;
    std::vector<cg::Color> colors;
    std::vector<double> locations;
    for (int i = 0; i <= 16; ++i) {
        double a = 0;
        if (i < 16) {
            const double b = strength * blurred(reach * i / 16.0, source, sigma);
            a = b < 1 ? b : 1.0;
            if (!(a > 0)) a = 0;  // NaN from a zero sigma paints nothing rather than garbage
        }
        colors.push_back(cg::Color::rgb(color, a));
        locations.push_back(i / 16.0);
    }
    const double half = side / 2.0;
    const cg::Point centre{half, half};
    ctx->drawRadialGradient(cg::Gradient(colors, locations), centre, 0, centre, half);
    const double core = half / reach;
    if (core > 0 && std::isfinite(core)) {
        ctx->setFillColor(cg::Color::rgb(color));
        ctx->fillEllipse(cg::Rect(half - core, half - core, 2 * core, 2 * core));
    }
    cg::ImageRef image = ctx->makeImage();
    if (!image) return nullptr;

    std::lock_guard<std::mutex> hold(cache.lock);
    return cache.images.emplace(key, std::move(image)).first->second;  // an earlier entry wins
}

size_t SpriteLayers::glowCount() {
    GlowCache& cache = glowCache();
    std::lock_guard<std::mutex> hold(cache.lock);
    return cache.images.size();
}

// --- conversions ---

uint64_t SpriteLayers::toUInt64(double x) {
    if (!(x > 0)) return 0;
    if (x >= 18446744073709551616.0) return UINT64_MAX;  // 2^64
    return static_cast<uint64_t>(x);
}

int64_t SpriteLayers::toInt64(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775808.0) return INT64_MAX;  // 2^63
    if (x < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(x);
}

uint64_t SpriteLayers::seed(double phase, uint64_t salt) { return toUInt64(phase * 1000000.0) + salt; }
