// Golden hashes of the finished scenes: any change to a finished picture, its sprites or their frames fails
// here, naming the scene, the time of day and the desk size that changed.
//
// The stored values live in golden.txt beside this file, with small reference pictures (640 × 400) in
// golden/ that explain a failure: the test then writes the actual, expected and difference images to
// $VM_TEST_OUT/golden and names the first differing pixel. When a picture is meant to change, regenerate
//     VM_UPDATE_GOLDEN=1 ./build/release/Tests/art_tests --gtest_filter='Golden.*'
// and commit golden.txt and golden/ alone, in a commit whose message says why the pictures changed.
// On another toolchain than the stored one the reference pictures are compared within a tolerance instead.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gnu/libc-version.h>

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Versions.h"
#include "Pipeline/Render.h"

namespace {

// Scenes whose painters are complete: all ten.
constexpr SceneKind kFinished[] = {SceneKind::archipelago, SceneKind::canyon, SceneKind::orbit, SceneKind::city,
                                    SceneKind::skyline,     SceneKind::winter, SceneKind::reef,  SceneKind::warzone,
                                    SceneKind::sea,         SceneKind::pond};

// FNV-1a, 64 bits.
class Fnv {
public:
    void byte(uint8_t b) {
        h_ ^= b;
        h_ *= 0x100000001B3ULL;
    }
    void word(uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) byte(static_cast<uint8_t>(v >> shift));
    }
    void text(const std::string& s) {
        for (char c : s) byte(static_cast<uint8_t>(c));
    }
    void image(const cg::Image& img) {
        word(static_cast<uint32_t>(img.pixelWidth()));
        word(static_cast<uint32_t>(img.pixelHeight()));
        const std::size_t n = static_cast<std::size_t>(img.pixelWidth()) * static_cast<std::size_t>(img.pixelHeight());
        for (std::size_t i = 0; i < n; ++i) word(img.data()[i]);  // little-endian bytes of each ARGB word
    }
    uint64_t value() const { return h_; }

private:
    uint64_t h_ = 0xCBF29CE484222325ULL;
};

struct Desk {
    const char* name;
    double width, height, scale;
    std::vector<cg::Point> icons;
};

std::vector<Desk> desks() {
    // The self-test's sample desktop at its full size, and a small screen with a few icons.
    std::vector<cg::Point> sample = {{1564, 67}, {1574, 180}};
    for (double y = 333; y <= 949; y += 88) {
        sample.push_back({1559, y});
        sample.push_back({1657, y});
    }
    for (cg::Point p : {cg::Point{971, 333}, cg::Point{971, 421}, cg::Point{971, 597}, cg::Point{971, 685},
                        cg::Point{420, 760}})
        sample.push_back(p);
    return {{"1710x1112@2", 1710, 1112, 2, sample},
            {"640x400@1", 640, 400, 1, {{150, 130}, {150, 218}, {430, 170}, {500, 290}}}};
}

struct Hashes {
    uint64_t image = 0, sprites = 0, frames = 0;
    friend bool operator==(const Hashes&, const Hashes&) = default;
};

std::string hex(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

// The picture's bytes, every sprite identity in order, and the sprites' images, which identities leave out.
std::optional<Hashes> hashesOf(const SceneSpec& spec, cg::ImageRef* shown = nullptr) {
    const auto scene = Renderer::render(spec, {});
    if (!scene || !scene->image) return std::nullopt;
    if (shown) *shown = scene->image;
    Hashes h;
    Fnv image, sprites, frames;
    image.image(*scene->image);
    // Each distinct image is numbered by first use: a use hashes the number, a first use also the pixels.
    std::map<const cg::Image*, uint32_t> number;
    auto picture = [&](const cg::ImageRef& img) {
        if (!img) {
            frames.text("-");
            return;
        }
        const auto [it, first] = number.emplace(img.get(), static_cast<uint32_t>(number.size()));
        frames.word(it->second);
        if (first) frames.image(*img);
    };
    for (const Sprite& sp : scene->sprites) {
        sprites.text(sp.identity());
        sprites.byte('\n');
        picture(sp.image);
        for (const auto& f : sp.frames) picture(f);
        frames.byte('|');
        for (const auto& f : sp.shade) picture(f);
        frames.byte('\n');
    }
    h.image = image.value();
    h.sprites = sprites.value();
    h.frames = frames.value();
    return h;
}

// The directory comes from CMake, not __FILE__, so a compiler cache that rewrites paths cannot move it.
std::filesystem::path goldenDir() { return std::filesystem::path(VM_GOLDEN_DIR); }
std::filesystem::path goldenFile() { return goldenDir() / "golden.txt"; }
std::filesystem::path referenceFile(const std::string& scene, bool night) {
    return goldenDir() / "golden" / (scene + (night ? "-night.png" : "-day.png"));
}

// What made the stored pictures: a failure on another toolchain may be the toolchain's, not the code's.
std::string toolchain() {
    return std::string("gcc ") + __VERSION__ + ", glibc " + gnu_get_libc_version() + ", " + cg::drawingLibraries();
}
std::string storedToolchain() {
    std::ifstream in(goldenFile());
    std::string line;
    const std::string tag = "# made with: ";
    while (std::getline(in, line))
        if (line.rfind(tag, 0) == 0) return line.substr(tag.size());
    return "unknown";
}

// Compares a picture with its reference; on a difference writes actual, expected and difference images
// to $VM_TEST_OUT/golden and describes the first differing pixel and the largest channel difference.
std::string explainDifference(const std::string& key, const cg::Image& actual, const std::filesystem::path& reference) {
    const cg::ImageRef expected = cg::Image::readPNG(reference.string());
    if (!expected) return "no reference picture " + reference.string();
    const char* out = std::getenv("VM_TEST_OUT");
    const std::filesystem::path dir = std::filesystem::path(out ? out : ".") / "golden";
    std::string stem = key;
    for (char& c : stem)
        if (c == ' ' || c == '@') c = '-';
    auto keep = [&] {
        std::filesystem::create_directories(dir);
        actual.writePNG((dir / (stem + "-actual.png")).string());
        expected->writePNG((dir / (stem + "-expected.png")).string());
    };
    if (expected->pixelWidth() != actual.pixelWidth() || expected->pixelHeight() != actual.pixelHeight())
        return keep(), "the reference is " + std::to_string(expected->pixelWidth()) + " x " +
               std::to_string(expected->pixelHeight()) + " px";
    const int w = actual.pixelWidth(), h = actual.pixelHeight();
    std::vector<uint32_t> diff(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0xFF000000u);
    int firstX = -1, firstY = -1, largest = 0;
    std::size_t differing = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t a = actual.pixel(x, y), e = expected->pixel(x, y);
            if (a == e) continue;
            if (firstX < 0) firstX = x, firstY = y;
            ++differing;
            int most = 0;
            for (int shift = 0; shift < 32; shift += 8)
                most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((e >> shift) & 0xFF)));
            largest = std::max(largest, most);
            // Differences show white on black, amplified so that one-step changes are visible.
            const uint32_t v = static_cast<uint32_t>(std::min(255, 64 + most * 8));
            diff[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
                0xFF000000u | v << 16 | v << 8 | v;
        }
    if (differing == 0) return "the picture matches its reference (only sprites or their images differ)";
    keep();
    if (auto d = cg::Image::fromARGB32(w, h, std::move(diff))) d->writePNG((dir / (stem + "-difference.png")).string());
    char text[256];
    std::snprintf(text, sizeof text,
                  "%zu pixels differ, the first at (%d, %d) from the top left: %08x instead of %08x; "
                  "largest channel difference %d",
                  differing, firstX, firstY, actual.pixel(firstX, firstY), expected->pixel(firstX, firstY), largest);
    return std::string(text) + "; images in " + dir.string();
}

// How far a picture is from its reference: the share of pixels whose every channel is within `levels`,
// and the largest channel difference. Another toolchain (Cairo, pixman, the compiler) moves edges and
// gradients by a level or two; a fault in a painter moves whole areas.
struct Closeness {
    double within = 0;  // 0–1
    int largest = 0;
};
std::optional<Closeness> closeness(const cg::Image& actual, const cg::Image& expected, int levels) {
    if (actual.pixelWidth() != expected.pixelWidth() || actual.pixelHeight() != expected.pixelHeight()) return std::nullopt;
    const int w = actual.pixelWidth(), h = actual.pixelHeight();
    std::size_t close = 0;
    Closeness c;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t a = actual.pixel(x, y), e = expected.pixel(x, y);
            int most = 0;
            for (int shift = 0; shift < 32; shift += 8)
                most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((e >> shift) & 0xFF)));
            c.largest = std::max(c.largest, most);
            if (most <= levels) ++close;
        }
    c.within = w > 0 && h > 0 ? double(close) / (double(w) * double(h)) : 1;
    return c;
}
// "Slightly different": 99.5 % of the pixels within 4 levels per channel.
constexpr int kToleranceLevels = 4;
constexpr double kToleranceShare = 0.995;
bool slightlyDifferent(const Closeness& c) { return c.within >= kToleranceShare; }

// The exact hashes hold on the toolchain that stored them; elsewhere (or with VM_GOLDEN_TOLERANT=1) the
// small desk's pictures are held to their references within the tolerance instead.
bool tolerant() {
    const char* env = std::getenv("VM_GOLDEN_TOLERANT");
    return (env && std::string(env) == "1") || toolchain() != storedToolchain();
}

// "scene time desk" → hashes, from the lines "sea day 1710x1112@2 image=… sprites=… frames=…".
std::map<std::string, Hashes> readGolden() {
    std::map<std::string, Hashes> out;
    std::ifstream in(goldenFile());
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string scene, time, desk, a, b, c;
        if (!(words >> scene >> time >> desk >> a >> b >> c)) continue;
        auto field = [](const std::string& w, const std::string& name) -> uint64_t {
            if (w.rfind(name + "=", 0) != 0) return 0;
            return std::strtoull(w.c_str() + name.size() + 1, nullptr, 16);
        };
        out[scene + " " + time + " " + desk] = {field(a, "image"), field(b, "sprites"), field(c, "frames")};
    }
    return out;
}

}  // namespace

TEST(Golden, FinishedScenesMatchTheirStoredHashesAtAnyThreadCount) {
    const bool update = [] {
        const char* env = std::getenv("VM_UPDATE_GOLDEN");
        return env && std::string(env) == "1";
    }();
    const auto golden = readGolden();
    std::vector<std::pair<std::string, Hashes>> now;

    for (SceneKind kind : kFinished)
        for (bool night : {false, true})
            for (const Desk& desk : desks()) {
                SceneSpec spec;
                spec.size = {desk.width, desk.height};
                spec.scale = desk.scale;
                spec.icons = desk.icons;
                spec.iconSize = 48;
                spec.textSize = 10;
                spec.kind = kind;
                spec.night = night;
                const std::string key =
                    std::string(scene_kind::rawValue(kind)) + (night ? " night " : " day ") + desk.name;

                std::optional<Hashes> one;
                {
                    dispatch::ThreadCountScope single(1);
                    one = hashesOf(spec);
                }
                cg::ImageRef picture;
                const std::optional<Hashes> all = hashesOf(spec, &picture);
                // The small desk keeps a reference picture that explains a change.
                const bool referenced = desk.width == 640;
                ASSERT_TRUE(one && all) << key << ": no picture";
                EXPECT_EQ(one->image, all->image) << key << ": picture differs between 1 thread and all threads";
                EXPECT_EQ(one->sprites, all->sprites) << key << ": sprites differ between 1 thread and all threads";
                EXPECT_EQ(one->frames, all->frames) << key << ": sprite images differ between 1 thread and all threads";
                now.emplace_back(key, *all);
                if (update) {
                    if (referenced) {
                        std::filesystem::create_directories(referenceFile("", false).parent_path());
                        const auto ref = referenceFile(std::string(scene_kind::rawValue(kind)), night);
                        ASSERT_TRUE(picture->writePNG(ref.string(), 9)) << "writing " << ref.string();
                    }
                    continue;
                }

                const auto stored = golden.find(key);
                if (stored == golden.end()) {
                    ADD_FAILURE() << key << ": no stored hashes in " << goldenFile().string()
                                  << " (regenerate with VM_UPDATE_GOLDEN=1)";
                    continue;
                }
                if (tolerant()) {
                    // Only the pictures with a reference can be judged; sprite identities are plain numbers
                    // and text, the same on any toolchain.
                    EXPECT_EQ(hex(all->sprites), hex(stored->second.sprites)) << key << ": the sprites changed";
                    if (!referenced || all->image == stored->second.image) continue;
                    const auto ref = cg::Image::readPNG(referenceFile(std::string(scene_kind::rawValue(kind)), night).string());
                    ASSERT_TRUE(ref) << key << ": no reference picture";
                    const auto c = closeness(*picture, *ref, kToleranceLevels);
                    ASSERT_TRUE(c) << key << ": the reference has another size";
                    if (slightlyDifferent(*c))
                        std::printf("%s: slightly different from its reference (%.2f %% of pixels within %d levels, "
                                    "largest difference %d), as another toolchain makes it\n",
                                    key.c_str(), c->within * 100, kToleranceLevels, c->largest);
                    else
                        ADD_FAILURE() << key << ": the picture changed beyond the tolerance: " << c->within * 100
                                      << " % of pixels within " << kToleranceLevels << " levels. "
                                      << explainDifference(key, *picture,
                                                           referenceFile(std::string(scene_kind::rawValue(kind)), night))
                                      << "\n  stored with: " << storedToolchain() << "\n  running on:  " << toolchain();
                    continue;
                }
                const std::string why =
                    referenced ? explainDifference(key, *picture, referenceFile(std::string(scene_kind::rawValue(kind)), night))
                               : "";
                EXPECT_EQ(hex(all->image), hex(stored->second.image))
                    << key << ": the picture changed. " << why << "\n  stored with: " << storedToolchain()
                    << "\n  running on:  " << toolchain();
                if (referenced && all->image == stored->second.image) {
                    EXPECT_NE(why.find("matches"), std::string::npos) << key << ": stale reference picture: " << why;
                }
                EXPECT_EQ(hex(all->sprites), hex(stored->second.sprites)) << key << ": the sprites changed";
                EXPECT_EQ(hex(all->frames), hex(stored->second.frames)) << key << ": the sprite images changed";
            }

    if (update) {
        std::ofstream out(goldenFile());
        out << "# Golden hashes of the finished scenes (FNV-1a 64): the picture's pixels, the sprite identities and\n"
               "# the sprite images. Written by Tests/Art/GoldenTests.cpp with VM_UPDATE_GOLDEN=1; regenerate only\n"
               "# when a picture is meant to change, and say why in the commit.\n"
            << "# made with: " << toolchain() << "\n";
        for (const auto& [key, h] : now)
            out << key << " image=" << hex(h.image) << " sprites=" << hex(h.sprites) << " frames=" << hex(h.frames)
                << "\n";
        ASSERT_TRUE(out.good()) << "writing " << goldenFile().string();
        std::printf("rewrote %s with %zu entries\n", goldenFile().string().c_str(), now.size());
    }
}

// The tolerance tells a toolchain's small changes from a painter's fault, on the stored references
// themselves: a level or two of noise over part of the picture passes; the night picture in place of the
// day one, a band of one colour, or a picture moved by a pixel does not.
TEST(Golden, TheToleranceTellsASlightChangeFromAFault) {
    const auto day = cg::Image::readPNG(referenceFile("archipelago", false).string());
    const auto night = cg::Image::readPNG(referenceFile("archipelago", true).string());
    const auto canyon = cg::Image::readPNG(referenceFile("canyon", false).string());
    ASSERT_TRUE(day && night && canyon);
    const int w = day->pixelWidth(), h = day->pixelHeight();
    auto edited = [&](auto change) {
        std::vector<uint32_t> px(std::size_t(w) * std::size_t(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) px[std::size_t(y) * std::size_t(w) + std::size_t(x)] = change(x, y, day->pixel(x, y));
        return cg::Image::fromARGB32(w, h, std::move(px));
    };
    auto nudge = [](uint32_t v, int by) {  // every colour channel, alpha kept
        uint32_t out = v & 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8)
            out |= uint32_t(std::clamp(int((v >> shift) & 0xFF) + by, 0, int(v >> 24))) << shift;
        return out;
    };
    struct Case {
        const char* what;
        cg::ImageRef picture;
        bool passes;
    } const cases[] = {
        {"the same picture", day, true},
        {"two levels on every third pixel", edited([&](int x, int y, uint32_t v) { return (x + y) % 3 ? v : nudge(v, 2); }), true},
        {"edges one pixel off on 0.3 %", edited([&](int x, int y, uint32_t v) { return (x * 7 + y * 13) % 331 ? v : day->pixel(std::min(x + 1, w - 1), y); }), true},
        {"the night picture", night, false},
        {"another scene", canyon, false},
        {"a band painted over", edited([&](int, int y, uint32_t v) { return y >= 100 && y < 112 ? 0xFF102030u : v; }), false},
        {"moved by a pixel", edited([&](int x, int y, uint32_t) { return day->pixel(std::max(x - 1, 0), y); }), false},
        {"ten levels darker", edited([&](int, int, uint32_t v) { return nudge(v, -10); }), false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.picture) << c.what;
        const auto close = closeness(*c.picture, *day, kToleranceLevels);
        ASSERT_TRUE(close) << c.what;
        EXPECT_EQ(slightlyDifferent(*close), c.passes) << c.what << ": " << close->within * 100 << " % within";
    }
    EXPECT_FALSE(closeness(*day, *cg::Image::fromARGB32(2, 2, std::vector<uint32_t>(4, 0)), kToleranceLevels));
}
