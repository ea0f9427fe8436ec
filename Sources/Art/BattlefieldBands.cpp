// Drawing the battlefield's ground in horizontal bands on several threads. Each band draws straight into
// its rows of the scene bitmap as a bitmap of its own and replays the drawing clipped to them, leaving
// out what cannot reach it, so the bands share the work of filling pixels.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "Art/Battlefield.h"
#include "Art/CarriedState.h"
#include "Platform/Graphics/Context.h"

namespace {

// Scene rows reaching past every band: the whole picture in one pass.
constexpr double kEverywhere = 1e300;

}  // namespace

void Art::Battlefield::inBands(const std::function<void(Art&, double, double)>& draw) {
    inBands(draw, nullptr, nullptr);
}

void Art::Battlefield::inBands(const std::function<void(Art&, double, double)>& draw,
                               const std::function<void(Art&, Rows)>& atop, const std::function<double(Rows)>& cost) {
    constexpr int kRows = 128;
    cg::Context& scene = *art.ctx;
    const int height = scene.pixelHeight();
    const std::size_t count = static_cast<std::size_t>((height + kRows - 1) / kRows);
    std::vector<std::unique_ptr<cg::Context>> bands(count), above(atop ? count : 0);
    // Every band exists before any drawing, so a failed one leaves the scene as it was.
    for (std::size_t b = 0; b < count; ++b) {
        const int top = static_cast<int>(b) * kRows, rows = std::min(kRows, height - top);
        bands[b] = cg::Context::makeRows(scene, top, top + rows);
        if (atop) above[b] = cg::Context::makeBand(scene, top, top + rows);
        if (!bands[b] || (atop && !above[b])) {
            draw(art, -kEverywhere, kEverywhere);
            if (atop) art.paintInBands([&](Art& worker, const cg::Rect& span) {
                const double H = art.H();
                atop(worker, Rows{H - span.maxY(), H - span.minY()});
            });
            return;
        }
    }
    // The drawing state the scene context hands to whatever is drawn on it next.
    const CarriedState carried = CarriedState::of(scene);
    const cg::Transform toDevice = scene.ctm();
    const double scale = art.s.scale;
    auto drawBand = [&](Art& worker, std::size_t b) {
        const int top = static_cast<int>(b) * kRows, rows = std::min(kRows, height - top);
        cg::Context& band = *bands[b];
        // The band's user space is the scene's, moved down by the rows beneath the band.
        band.translateBy(0, -static_cast<double>(height - top - rows));
        band.concatenateCTM(toDevice);
        worker.ctx = &band;
        draw(worker, top / scale, (top + rows) / scale);
        worker.ctx = nullptr;
        bands[b].reset();
        if (!atop) return;
        cg::Context& rowsAbove = *above[b];
        carried.applyTo(rowsAbove);
        worker.ctx = &rowsAbove;
        atop(worker, Rows{top / scale, (top + rows) / scale});
        worker.ctx = nullptr;
        above[b].reset();
    };
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (cost) {
        std::vector<double> estimate(count);
        for (std::size_t b = 0; b < count; ++b) {
            const int top = static_cast<int>(b) * kRows, rows = std::min(kRows, height - top);
            estimate[b] = cost(Rows{top / scale, (top + rows) / scale});
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t x, std::size_t y) { return estimate[x] > estimate[y]; });
    }
    // Each taker draws the next band in that order until none is left: as many takers as bands, of
    // which only as many as there are threads run at once.
    std::atomic<std::size_t> next{0};
    art.offscreenEach(count, [&](Art& worker, std::size_t) -> cg::ImageRef {
        for (std::size_t taken = next++; taken < count; taken = next++) drawBand(worker, order[taken]);
        return nullptr;
    });
    scene.pixelsChanged();
}

cg::Path Art::Battlefield::runsNear(std::span<const Polyline> lines, Rows rows, double reach) const {
    // The band's rows in drawing space, y up.
    const double low = art.H() - rows.bottom - reach, high = art.H() - rows.top + reach;
    cg::Path out;
    for (const Polyline& line : lines) {
        bool open = false;
        for (std::size_t i = 0; i + 1 < line.size(); ++i) {
            const cg::Point a = line[i], b = line[i + 1];
            if (std::max(a.y, b.y) < low || std::min(a.y, b.y) > high) {
                open = false;
                continue;
            }
            if (!open) out.moveTo(a);
            out.lineTo(b);
            open = true;
        }
    }
    return out;
}

cg::Path Art::Battlefield::linesNear(std::span<const Polyline> lines, Rows rows, double reach) const {
    const double low = art.H() - rows.bottom - reach, high = art.H() - rows.top + reach;
    cg::Path out;
    for (const Polyline& line : lines) {
        if (line.empty()) continue;
        const auto [lowest, highest] =
            std::minmax_element(line.begin(), line.end(), [](cg::Point a, cg::Point b) { return a.y < b.y; });
        if (highest->y < low || lowest->y > high) continue;
        out.moveTo(line.front());
        for (std::size_t i = 1; i < line.size(); ++i) out.lineTo(line[i]);
    }
    return out;
}
