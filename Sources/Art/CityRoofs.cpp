// Small top-down props on flat city roofs, each centred on a drawing point with its shadow falling to
// the lower right: air handlers, skylight rows, stair huts, vents, solar panels and water tanks.

#include <cmath>
#include <cstdint>
#include <numbers>

#include "Art/City.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

void fillBox(Art& art, uint32_t color, double alpha, const cg::Rect& r) {
    art.shape(color, alpha, 0, [&](cg::Path& p) { p.addRect(r); });
}

void disc(Art& art, uint32_t color, double alpha, cg::Point c, double r) {
    art.shape(color, alpha, 0, [&](cg::Path& p) { p.addEllipse({c.x - r, c.y - r, 2 * r, 2 * r}); });
}

}  // namespace

void Art::City::airHandler(cg::Point p, bool turn) {
    const bool night = art.s.night;
    const cg::Rect foot = turn ? cg::Rect(p.x - 4, p.y - 8, 8, 16) : cg::Rect(p.x - 8, p.y - 4, 16, 8);
    fillBox(art, 0x000000, 0.2, foot.offsetBy(1.8, -1.8));
    cg::SavedState g(art.ctx);
    art.ctx->translateBy(p.x, p.y);
    if (turn) art.ctx->rotateBy(std::numbers::pi / 2);
    fillBox(art, night ? 0x4C525F : 0xC9CDD3, 1, {-8, -4, 16, 8});
    fillBox(art, 0xFFFFFF, night ? 0.06 : 0.3, {-8, 3, 16, 1});
    for (const double x : {-3.8, 3.8}) {
        disc(art, night ? 0x2F343F : 0x6B727D, 1, {x, 0}, 2.9);
        disc(art, night ? 0x5A606C : 0xB4B9C0, 1, {x, 0}, 0.8);
    }
}

void Art::City::skylights(cg::Point p, bool turn, int64_t n, bool lit) {
    const bool night = art.s.night;
    const double w = 4 * static_cast<double>(n) - 0.6;
    const cg::Rect foot = turn ? cg::Rect(p.x - 4, p.y - (w + 1.6) / 2, 8, w + 1.6)
                               : cg::Rect(p.x - (w + 1.6) / 2, p.y - 4, w + 1.6, 8);
    fillBox(art, 0x000000, 0.2, foot.offsetBy(0.8, -0.8));
    cg::SavedState g(art.ctx);
    art.ctx->translateBy(p.x, p.y);
    if (turn) art.ctx->rotateBy(std::numbers::pi / 2);
    const double e = -w / 2;
    fillBox(art, night ? 0x545A67 : 0xD6DADF, 1, {e - 0.8, -3.8, w + 1.6, 7.6});
    const uint32_t pane = !night ? 0x5D7C98 : lit ? 0xE8C27A : 0x1E232C;
    for (int64_t i = 0; i < n; ++i) {
        const double x = e + 4 * static_cast<double>(i);
        fillBox(art, pane, 1, {x, -3, 3.4, 6});
        fillBox(art, 0xFFFFFF, night ? 0.08 : 0.3, {x, 1.4, 3.4, 1.1});
    }
}

void Art::City::stairHut(cg::Point p) {
    const bool night = art.s.night;
    fillBox(art, 0x000000, 0.22, {p.x - 0.5, p.y - 8, 8, 9});
    fillBox(art, night ? 0x5A606C : 0xB9BEC6, 1, {p.x - 4, p.y - 4.5, 8, 9});
    fillBox(art, 0xFFFFFF, night ? 0.06 : 0.28, {p.x - 4, p.y + 3.7, 8, 0.8});
    fillBox(art, 0x000000, 0.18, {p.x - 4, p.y - 4.5, 8, 1});
}

void Art::City::vent(cg::Point p) {
    const bool night = art.s.night;
    fillBox(art, 0x000000, 0.2, {p.x - 2.5, p.y - 5.5, 8, 8});
    fillBox(art, night ? 0x565C6B : 0xD3D7DC, 1, {p.x - 4, p.y - 4, 8, 8});
    disc(art, night ? 0x383D49 : 0x868D98, 1, p, 2.6);
}

void Art::City::solar(cg::Point p) {
    const bool night = art.s.night;
    for (int k = 0; k < 3; ++k) {
        const cg::Rect panel(p.x - 7 + 4.9 * k, p.y - 4.5, 4.2, 9);
        fillBox(art, 0x000000, 0.18, panel.offsetBy(1.2, -1.2));
        fillBox(art, night ? 0x1B2742 : 0x2D4F8A, 1, panel);
        fillBox(art, 0xFFFFFF, night ? 0.08 : 0.25, {panel.minX(), panel.midY() - 0.25, 4.2, 0.5});
    }
}

void Art::City::roofTank(cg::Point p) {
    const bool night = art.s.night;
    disc(art, 0x000000, 0.2, {p.x + 2, p.y - 2}, 5);
    disc(art, night ? 0x463830 : 0x8B5E3C, 1, p, 5);
    disc(art, night ? 0x574539 : 0xA8744C, 1, p, 3.6);
    disc(art, 0xFFFFFF, 0.25, {p.x - 1, p.y + 1}, 1.2);
}
