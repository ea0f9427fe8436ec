#include "SelfTest/SelfTest.h"

#include <chrono>
#include <cmath>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DesktopWindow/ActorLayer.h"
#include "DesktopWindow/SpriteLayer.h"
#include "Finder/DeskLayout.h"
#include "Finder/FinderIcons.h"
#include "FolderIcons/FolderIcons.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"
#include "Platform/Graphics/Image.h"
#include "Renderer/Grid.h"
#include "Renderer/Look.h"
#include "Pipeline/Render.h"
#include "Renderer/TerrainLayout.h"
#include "Renderer/Terrain.h"
#include "SelfTest/Check.h"
#include "SelfTest/FolderIconCheck.h"
#include "SelfTest/Preview.h"
#include "Update/Version.h"

namespace SelfTest {
namespace {

constexpr double kWidth = kSampleWidth, kHeight = kSampleHeight, kFar = 380;

void actors(const std::vector<Sprite>& sprites);

std::string name(SceneKind kind, bool night) {
    return std::string(scene_kind::rawValue(kind)) + (night ? "-night" : "-day");
}

void write(const cg::ImageRef& image, const std::string& path) {
    if (!image) throw WriteFailure("writing " + path + ": no picture was made");
    errno = 0;
    const bool written = image->writePNG(path);
    const int error = errno;
    if (!written) throw WriteFailure("writing " + path + ": " + (error ? std::strerror(error) : "the PNG encoder failed"));
}

void sceneRenders(SceneKind kind, bool night, const std::optional<std::string>& dir) {
    const std::string label = std::string(scene_kind::rawValue(kind)) + (night ? " night" : " day");
    const auto start = std::chrono::steady_clock::now();
    const auto scene = Renderer::render(sampleDesktop(kind, night), {});
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    check(scene.has_value(), label + ": render");
    check(scene->image && scene->image->pixelWidth() == 3420 && scene->image->pixelHeight() == 2224,
          label + ": picture size 3420 x 2224");
    std::printf("%s %.0f ms, %zu sprites\n", label.c_str(), ms, scene->sprites.size());
    std::fflush(stdout);
    if (dir)
        write(withIcons(scene->image, sampleDesktop(kind, night), scene->sprites),
              *dir + "/" + name(kind, night) + ".png");

    const bool cityLike = kind == SceneKind::city || kind == SceneKind::skyline;
    for (const Sprite& sp : scene->sprites) {
        check(cityLike || sp.kind != Sprite::Kind::glide, label + ": glide sprites only in the city scenes");
        const bool routed = sp.kind == Sprite::Kind::trip || sp.kind == Sprite::Kind::boat ||
                            sp.kind == Sprite::Kind::bird || sp.kind == Sprite::Kind::meteor;
        check(!routed || sp.path.size() >= 2, label + ": routed sprite with a path of at least 2 points");
        // Every sprite becomes a layer that moves by itself: animations of its own, or parts that have them.
        const auto layer = layers::layer(sp);
        check(layer && (!layer->animationKeys().empty() || !layer->sublayers().empty()),
              label + ": a " + std::string(Sprite::kindName(sp.kind)) + " sprite gets an animated layer");
    }

    if (kind == SceneKind::archipelago) actors(scene->sprites);

    const bool alwaysWet = kind == SceneKind::reef || kind == SceneKind::sea;
    check(scene->wet && scene->wet({1564, 67}) == alwaysWet, label + ": water test at the first icon");

    const auto thumb = Renderer::render(thumbnail(kind, night), {});
    check(thumb.has_value() && thumb->image, label + ": thumbnail render");
    if (dir)
        write(withIcons(thumb->image, thumbnail(kind, night), thumb->sprites),
              *dir + "/" + name(kind, night) + "-menu.png");
}

// The archipelago's walker: clicked half-way along a rightward and a leftward leg, it turns with the
// matching pictures now and walks on from that very point once the turn is over.
void actors(const std::vector<Sprite>& sprites) {
    const auto act = std::find_if(sprites.begin(), sprites.end(), [](const Sprite& sp) { return sp.kind == Sprite::Kind::act; });
    check(act != sprites.end(), "walker check: an act sprite");
    const auto actor = std::dynamic_pointer_cast<ActorLayer>(layers::layer(*act));
    check(actor != nullptr, "walker check: the act sprite's layer is an actor layer");
    std::optional<std::size_t> right, left;
    for (std::size_t i = 0; i + 1 < actor->way.size(); ++i) {
        if (!right && actor->way[i + 1].x > actor->way[i].x) right = i;
        if (!left && actor->way[i + 1].x < actor->way[i].x) left = i;
    }
    check(right && left, "walker check: a rightward and a leftward leg");
    check(actor->turns.size() == 2 && !actor->turns[0].empty() && !actor->turns[1].empty(),
          "walker check: two turning sequences");
    for (const auto& [leg, set] : {std::pair{*right, actor->turns[0]}, std::pair{*left, actor->turns[1]}}) {
        const std::string which = leg == *right ? "rightward" : "leftward";
        actor->setOff(leg, 0.5, 100);
        const auto turn = std::dynamic_pointer_cast<const ca::AnimationGroup>(actor->animation("turn"));
        check(turn && !turn->animations.empty(), "walker check: " + which + " turn is a group");
        const auto pictures = std::dynamic_pointer_cast<const ca::KeyframeAnimation>(turn->animations.front());
        check(pictures && !pictures->values.empty() && pictures->values.front().image() == set.front(),
              "walker check: " + which + " turn starts with its first picture");
        check(turn->beginTime == 100, "walker check: " + which + " turn begins at the click");
        const auto motion = actor->animation("motion");
        check(motion != nullptr, "walker check: " + which + " motion");
        check(std::fabs(motion->beginTime - (100 + actor->tick * static_cast<double>(set.size()))) < 1e-6,
              "walker check: " + which + " motion begins after the turn");
        check(std::fabs(motion->timeOffset - (static_cast<double>(leg) + 0.5) * actor->tick) < 1e-6,
              "walker check: " + which + " motion goes on from the click");
        actor->busy = 0;  // the next click may start a turn at once
    }
}

void folderArt(SceneKind kind, const std::optional<std::string>& dir) {
    const std::string raw(scene_kind::rawValue(kind));
    const cg::ImageRef art = FolderIcons::art(kind);
    check(art && art->pixelWidth() == 512, raw + ": folder icon of 512 pixels");
    if (dir) write(art, *dir + "/" + raw + "-folder.png");
}

// Desktop icon centres convert onto each screen in its own coordinates.
void iconConversion() {
    DeskLayout layout;
    layout.centers = {{100, 50}, {1800, 300}};
    layout.iconSize = 64;
    layout.textSize = 12;
    check(layout.centersOn(cg::Rect(0, 0, 1710, 1112), 1112) == std::vector<cg::Point>{{100, 50}},
          "icon conversion on the primary screen");
    check(layout.centersOn(cg::Rect(1710, 12, 1920, 1000), 1112) == std::vector<cg::Point>{{90, 200}},
          "icon conversion on the second screen");
}

void landUnderIcons(SceneKind kind) {
    if (kind == SceneKind::skyline) return;
    const std::string label = std::string(scene_kind::rawValue(kind)) + ": land under the icons";
    const Look look(kind, false, static_cast<float>(kHeight));
    check(!look.land.empty(), label + " (no land band)");
    const SceneSpec spec = sampleDesktop(kind, false);
    std::vector<cg::Rect> keep;
    for (const cg::Point& c : spec.icons)
        keep.push_back(cg::Rect(c.x - 24, c.y - 24, 48, 48).unionWith(cg::Rect(c.x - 47.5, c.y + 26, 95, 30)).insetBy(-6, -6));
    const Terrain terrain = Renderer::terrain(spec, look, keep);
    const float floor = look.land.front().t - 0.01f;
    for (const cg::Rect& r : keep) {
        const double x0 = std::max(r.minX(), 0.0), x1 = std::min(r.maxX(), kWidth - 1);
        const double y0 = std::max(r.minY(), 0.0), y1 = std::min(r.maxY(), kHeight - 1);
        for (double y = y0; y <= y1; y += 2)
            for (double x = x0; x <= x1; x += 2)
                check(terrain.v->sample(cg::Point{x, y}) >= floor, label);
    }
}

// Every point a sprite covers, in top-left scene coordinates, with ten steps along each segment.
bool farSprite(const Sprite& sp, cg::Point from, cg::Point to) {
    std::vector<cg::Point> pts{sp.at};
    if (!(sp.to.x == 0 && sp.to.y == 0)) pts.push_back(sp.to);
    pts.insert(pts.end(), sp.path.begin(), sp.path.end());
    for (cg::Point& p : pts) p.y = kHeight - p.y;
    auto far = [&](cg::Point p) {
        return std::hypot(p.x - from.x, p.y - from.y) > kFar && std::hypot(p.x - to.x, p.y - to.y) > kFar;
    };
    if (!far(pts.front())) return false;
    for (std::size_t i = 0; i + 1 < pts.size(); ++i)
        for (int k = 1; k <= 10; ++k) {
            const double f = k / 10.0;
            const cg::Point q{pts[i].x + (pts[i + 1].x - pts[i].x) * f, pts[i].y + (pts[i + 1].y - pts[i].y) * f};
            if (!far(q)) return false;
        }
    return true;
}

void stability(SceneKind kind) {
    struct Move {
        const char* label;
        cg::Point from, to;
    };
    const Move moves[] = {{"moved icon:", {420, 760}, {720, 760}}, {"new icon:", {420, 300}, {420, 300}}};
    const std::string raw(scene_kind::rawValue(kind));
    for (const Move& m : moves) {
        const SceneSpec a = sampleDesktop(kind, false);
        SceneSpec b = a;
        if (m.from == m.to) b.icons.push_back(m.to);
        else b.icons.back() = m.to;
        const auto A = Renderer::render(a, {});
        check(A.has_value(), raw + " " + m.label + " render A");
        const auto B = Renderer::render(b, A->placed);
        check(B.has_value(), raw + " " + m.label + " render B");

        std::vector<std::string> after;
        after.reserve(B->sprites.size());
        for (const Sprite& sp : B->sprites) after.push_back(sp.identity());
        std::size_t far = 0, kept = 0;
        for (const Sprite& sp : A->sprites) {
            if (!farSprite(sp, m.from, m.to)) continue;
            ++far;
            const std::string id = sp.identity();
            for (const std::string& other : after)
                if (other == id) {
                    ++kept;
                    break;
                }
        }

        check(A->image->bytesPerRow() == B->image->bytesPerRow(), raw + " " + m.label + " row length");
        std::size_t compared = 0, changed = 0;
        for (int y = 0; y < static_cast<int>(kHeight); ++y)
            for (int x = 0; x < static_cast<int>(kWidth); ++x) {
                if (std::hypot(x - m.from.x, y - m.from.y) <= kFar || std::hypot(x - m.to.x, y - m.to.y) <= kFar) continue;
                ++compared;
                if (A->image->pixel(2 * x, 2 * y) != B->image->pixel(2 * x, 2 * y)) ++changed;
            }
        const double share = compared ? changed * 100.0 / compared : 0.0;
        std::printf("%s %s %zu of %zu far sprites kept, %.3f%% far pixels changed\n", raw.c_str(), m.label, kept, far,
                    share);
        std::fflush(stdout);
        check(kept * 20 >= far * 19, raw + " " + m.label + " far sprites kept (at least 95%)");
        check(changed * 1000 < compared, raw + " " + m.label + " far pixels changed (under 0.1%)");
    }
}

}  // namespace

void icon(const std::string& path) {
    SceneSpec spec;
    spec.size = {512, 512};
    spec.scale = 2;
    spec.icons = {{215, 215}, {297, 215}, {256, 300}};
    spec.iconSize = 44;
    spec.textSize = 9;
    spec.kind = SceneKind::archipelago;
    const auto scene = Renderer::render(spec, {});
    if (!scene || !scene->image) throw WriteFailure("writing " + path + ": the picture could not be rendered");
    auto ctx = cg::Context::makeBitmap(1024, 1024, 1);
    if (!ctx) throw WriteFailure("writing " + path + ": no 1024 x 1024 bitmap");
    cg::Path tile;
    tile.addRoundedRect(cg::Rect(100, 100, 824, 824), 185, 185);
    {
        cg::SavedState saved(*ctx);
        ctx->setShadow({0, -10}, 24, cg::Color::black(0.35));
        ctx->setFillColor(cg::Color::rgb(0x0F4F80));
        ctx->fill(tile);
    }
    ctx->clip(tile);
    ctx->draw(withIcons(scene->image, spec, scene->sprites, true), cg::Rect(100, 100, 824, 824));
    ctx->setStrokeColor(cg::Color::white(0.2));
    ctx->setLineWidth(4);
    ctx->beginPath();
    ctx->addPath(tile);
    ctx->strokePath();
    write(ctx->makeImage(), path);
}

void entryChecks() {
    struct Comparison {
        const char* candidate;
        const char* reference;
        bool newer;
    };
    const Comparison comparisons[] = {{"1.10", "1.9", true},      {"2", "1.9.9", true},    {"1.0", "1.0", false},
                                      {"1.0.0", "1.0", false},    {"1.1-beta", "1.0", false}, {"", "1.0", false},
                                      {"0.9", "1.0", false}};
    for (const Comparison& c : comparisons)
        check(Update::isNewer(c.candidate, c.reference) == c.newer,
              std::string("isNewer(\"") + c.candidate + "\", \"" + c.reference + "\") is " + (c.newer ? "true" : "false"));
    check(FinderIcons::drawsDesktop(PrefValue{}) && FinderIcons::drawsDesktop(PrefValue{true}) &&
              FinderIcons::drawsDesktop(PrefValue{std::string("1")}),
          "drawsDesktop: absent, true and \"1\" draw the desktop");
    check(!FinderIcons::drawsDesktop(PrefValue{false}) && !FinderIcons::drawsDesktop(PrefValue{std::string("false")}) &&
              !FinderIcons::drawsDesktop(PrefValue{std::string("NO")}) && !FinderIcons::drawsDesktop(PrefValue{0.0}),
          "drawsDesktop: false, \"false\", \"NO\" and 0 do not");
}

void run(const std::optional<std::string>& previewDir) {
    const uint64_t droppedBefore = cg::Context::droppedDraws().load();
    iconConversion();
    for (SceneKind kind : scene_kind::allCases) {
        for (bool night : {false, true}) sceneRenders(kind, night, previewDir);
        folderArt(kind, previewDir);
        landUnderIcons(kind);
        stability(kind);
        check(cg::Context::droppedDraws().load() == droppedBefore,
              std::string(scene_kind::rawValue(kind)) + ": every draw carried out (none dropped)");
    }
    folderIcons();
    std::printf("selftest ok\n");
    std::fflush(stdout);
}

}  // namespace SelfTest
