// Renders the city's vehicles, airliner, roof props, walkers, lamps and trees, by day and by night, into
// one picture to look at: $VM_TEST_OUT/city-contact-sheet.png.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Art/City.h"
#include "ArtTestSupport.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double sheetW = 420, halfH = 150, sheetScale = 4;

void ground(cg::Context& c, const cg::Rect& r, uint32_t color) {
    c.setFillColor(cg::Color::rgb(color));
    c.fill(r);
}

// One half of the sheet (y from 0 to halfH) in the painter's own time of day.
void drawHalf(Art& art) {
    cg::Context& c = *art.ctx;
    const bool night = art.s.night;
    Art::City city(art);
    ground(c, {0, 0, sheetW, halfH}, night ? 0x23262E : 0x595E69);

    // Top row: every moving vehicle type, then the four police frames.
    const std::vector<uint32_t> colors = {0xF2F2F0, 0x1E2024, 0x8C9198, 0xC3C7CB, 0x2E4C7C, 0x9E2F2A, 0x5A4B3C};
    double x = 6;
    for (const Art::City::Vehicle& v : city.vehicles(colors)) {
        if (v.image) c.draw(v.image, {x, halfH - 16, v.length, 8});
        x += v.length + 4;
    }
    const auto police = city.policeFrames();
    x = 6;
    for (const cg::ImageRef& f : police) {
        c.draw(f, {x, halfH - 38, 26, 16});
        x += 30;
    }

    // Parked cars from dark to lit, turned both ways.
    for (int i = 0; i < 6; ++i) {
        const double dim = 0.72 - 0.34 * i / 5;
        city.parkedCar(colors[static_cast<std::size_t>(i)], {140 + 12.0 * i, halfH - 30}, i % 2 ? M_PI / 2 : -M_PI / 2, dim);
    }

    // The airliner: the day picture or the first two night frames.
    for (int i = 0; i < (night ? 2 : 1); ++i) {
        cg::SavedState g(c);
        c.translateBy(230 + 44.0 * i, halfH - 48);
        city.airliner(night && i == 0);
    }

    // Roof props on a roof.
    ground(c, {4, 50, 300, 44}, night ? 0x343843 : 0xBCC1C8);
    city.airHandler({20, 72}, false);
    city.airHandler({44, 72}, true);
    city.skylights({70, 72}, false, 3, false);
    city.skylights({100, 72}, true, 4, true);
    city.skylights({126, 72}, false, 4, true);
    city.stairHut({152, 72});
    city.vent({172, 72});
    city.solar({196, 72});
    city.roofTank({222, 72});

    // Walkers on a pavement, a lamp, trees in a park.
    ground(c, {4, 8, 300, 36}, night ? 0x40454F : 0xD5D9DE);
    const auto walkers = city.walkerImages();
    x = 10;
    for (const cg::ImageRef& w : walkers) {
        c.draw(w, {x, 22, 8, 8});
        x += 12;
    }
    city.lamplight(0x9E7E4A, {130, 26}, 18);
    ground(c, {310, 8, 106, 86}, night ? 0x2A4634 : 0x74A456);
    for (int i = 0; i < 4; ++i) city.tree({326.0 + 26 * i, art.H() - 40}, 3.5 + 1.2 * i);
}

}  // namespace

TEST(CitySheet, VehiclesAirlinerRoofPropsAndWalkersByDayAndNight) {
    auto sheet = cg::Context::makeBitmap(static_cast<int>(sheetW * sheetScale), static_cast<int>(2 * halfH * sheetScale),
                                         sheetScale);
    ASSERT_TRUE(sheet);
    for (const bool night : {false, true}) {
        auto p = arttest::painter(sheetW, halfH, sheetScale, SceneKind::city, night);
        drawHalf(*p.art);
        sheet->draw(p.bitmap->makeImage(), {0, night ? 0 : halfH, sheetW, halfH});
    }
    const auto path = cgtest::outDir() / "city-contact-sheet.png";
    ASSERT_TRUE(sheet->makeImage()->writePNG(path.string())) << path;
}
