// Battlefield vehicles and aircraft: burning wrecks drawn in place with their live sprites, and the
// tank, helicopter and jet pictures the moving sprites carry.

#include <array>
#include <cmath>
#include <numbers>

#include "Art/Battlefield.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

uint32_t pick(bool night, uint32_t day, uint32_t dark) { return night ? dark : day; }

constexpr std::array<cg::Point, 14> kJet = {{{21, 11},
                                             {13, 12.4},
                                             {8, 18},
                                             {6, 18},
                                             {8, 12.4},
                                             {3, 12},
                                             {1, 14.5},
                                             {0.5, 7.5},
                                             {1, 7.5},
                                             {3, 10},
                                             {8, 9.6},
                                             {6, 4},
                                             {8, 4},
                                             {13, 9.6}}};

}  // namespace

void Art::Battlefield::wreck(cg::Point p, const cg::ImageRef& smoke) {
    wreckBody(p);
    wreckLights(p, smoke);
}

void Art::Battlefield::wreckBody(cg::Point p) {
    const bool night = art.s.night;
    art.shape(0x000000, 0.28, 0, [&](cg::Path& path) { path.addEllipse(cg::Rect(p.x - 18, p.y - 8, 36, 16)); });
    art.groundShadow(p, 12, 0.25);
    {
        cg::SavedState g(art.ctx);
        art.ctx->translateBy(p.x, p.y + 3);
        art.ctx->rotateBy((Art::rand(p, 0) - 0.5) * 0.4);
        art.shape(0x1E1E1C, 1, 0, [](cg::Path& path) {
            path.addRect(cg::Rect(-11, -5, 22, 2.6));
            path.addRect(cg::Rect(-11, 2.4, 22, 2.6));
        });
        art.shape(pick(night, 0x45463C, 0x2E302C), 1, 0, [](cg::Path& path) { path.addRect(cg::Rect(-10, -3, 20, 6)); });
    }
    art.shape(pick(night, 0x3E3F36, 0x2A2C28), 1, 0,
              [&](cg::Path& path) { path.addEllipse(cg::Rect(p.x + 13 - 3.6, p.y - 3 - 2.8, 7.2, 5.6)); });
}

void Art::Battlefield::wreckLights(cg::Point p, const cg::ImageRef& smoke) {
    const bool night = art.s.night;
    struct Flame {
        double dx, size;
        uint64_t salt;
    };
    for (const Flame& f : {Flame{-3.5, 8, 30}, Flame{4, 6, 31}}) {
        Sprite sp;
        sp.kind = Sprite::Kind::light;
        sp.at = {p.x + f.dx, p.y + 2.5};
        sp.size = f.size;
        sp.phase = Art::rand(p, f.salt);
        sp.image = art.flames();
        sp.anchor = {0.5, 0.12};
        sp.pulse = 0.5;
        sp.ease = 1;
        art.sprites.push_back(std::move(sp));
    }
    if (night) art.firelight({p.x - 2, p.y + 5}, 46, Art::rand(p, 0), 0.5, 1);
    for (uint64_t salt = 1; salt <= 2; ++salt) {
        Sprite ember;
        ember.kind = Sprite::Kind::firefly;
        ember.at = {p.x - 2, p.y + 11};
        ember.size = 1;
        ember.phase = Art::rand(p, salt);
        ember.travel = 6;
        ember.color = 0xFFB347;
        art.sprites.push_back(std::move(ember));
    }
    const std::vector<cg::Point> column = {{p.x - 2, p.y + 9}, {p.x - 1, p.y + 26}, {p.x + 8, p.y + 44}, {p.x + 18, p.y + 58}};
    for (const double phase : {0.0, 0.25, 0.5, 0.75}) {
        Sprite sp;
        sp.kind = Sprite::Kind::trip;
        sp.at = column.front();
        sp.size = 10;
        sp.phase = phase;
        sp.travel = 11;
        sp.image = smoke;
        sp.path = column;
        sp.pulse = 0.8;
        sp.ease = 0;
        sp.hop = 0.3;
        sp.grow = 2.6;
        sp.face = false;
        art.sprites.push_back(std::move(sp));
    }
}

void Art::Battlefield::battleTank() {
    const bool night = art.s.night;
    art.shape(0x000000, 0.25, 0, [](cg::Path& path) { path.addRect(cg::Rect(4.2, 0.6, 20, 13.6)); });
    art.shape(0x2A2A26, 1, 0, [](cg::Path& path) {
        path.addRect(cg::Rect(3, 1.5, 20, 3.2));
        path.addRect(cg::Rect(3, 11.3, 20, 3.2));
    });
    art.shape(pick(night, 0x5F6B3F, 0x3A4232), 1, 0,
              [](cg::Path& path) { path.addRoundedRect(cg::Rect(4, 4, 18, 8), 1.5, 1.5); });
    art.shape(pick(night, 0x77854F, 0x46503C), 1, 0, [](cg::Path& path) {
        path.addRect(cg::Rect(15, 7.2, 12, 1.6));
        path.addEllipse(cg::Rect(7.6, 4.2, 8.8, 7.6));
    });
    art.shape(0x000000, 0.3, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(9.7, 7.3, 2.6, 2.6)); });
}

void Art::Battlefield::helicopter(double turn, bool lit, bool shadow) {
    const bool night = art.s.night;
    const uint32_t e = shadow ? 0x000000 : pick(night, 0x525C38, 0x3E4638);
    const double ea = shadow ? 0.22 : 1;
    art.shape(e, ea, 2.2, [](cg::Path& path) {
        path.moveTo({21, 24});
        path.lineTo({4, 24});
    });
    art.shape(e, ea, 1.6, [](cg::Path& path) {
        path.moveTo({8, 20});
        path.lineTo({8, 28});
    });
    art.shape(e, ea, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(16, 19.2, 19, 8.8)); });
    if (!shadow) {
        art.shape(pick(night, 0x6E7A4C, 0x4E5846), 1, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(18, 21, 12, 6)); });
        art.shape(pick(night, 0x4A5C68, 0x262E36), 1, 0,
                  [](cg::Path& path) { path.addEllipse(cg::Rect(28, 20.6, 6, 6.8)); });
        art.shape(0xFFFFFF, night ? 0.1 : 0.35, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(30.7, 24.4, 2.2, 1.8)); });
        art.shape(0x262624, 0.7, 0.7, [](cg::Path& path) {
            path.moveTo({4, 24.8});
            path.lineTo({4, 29});
        });
    }
    art.shape(shadow ? 0x000000 : pick(night, 0x2A2A26, 0x8A8E84), shadow ? 0.04 : 0.08, 0,
              [](cg::Path& path) { path.addEllipse(cg::Rect(6, 6, 36, 36)); });
    art.shape(shadow ? 0x000000 : 0x222220, shadow ? 0.12 : 0.55, 1, [&](cg::Path& path) {
        for (int k = 0; k < 4; ++k) {
            const double a = turn + k * std::numbers::pi / 2;
            path.moveTo({24, 24});
            path.lineTo({24 + 18 * std::cos(a), 24 + 18 * std::sin(a)});
        }
    });
    if (!shadow)
        art.shape(0x1A1A18, 1, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(22.6, 22.6, 2.8, 2.8)); });
    if (lit) {
        const cg::Gradient beacon({cg::Color::rgb(0xFF3B30, 0.8), cg::Color::rgb(0xFF3B30, 0)}, {0, 1});
        art.ctx->drawRadialGradient(beacon, {20, 24}, 0, {20, 24}, 4);
        art.shape(0xFFD0C8, 1, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(19.4, 23.4, 1.2, 1.2)); });
    }
}

void Art::Battlefield::plane(double dx, double dy, uint32_t color, double alpha) {
    art.shape(color, alpha, 0, [&](cg::Path& path) {
        for (std::size_t i = 0; i < kJet.size(); ++i) {
            const cg::Point q{kJet[i].x + dx, kJet[i].y + (dy - 4)};
            if (i == 0) path.moveTo(q);
            else path.lineTo(q);
        }
        path.closeSubpath();
    });
}
