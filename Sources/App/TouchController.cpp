#include "App/TouchController.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr int probeColumns = 12, probeRows = 8;

}  // namespace

TouchController::TouchController(Services services) : s_(std::move(services)) {}

TouchController::~TouchController() {
    *alive_ = false;
    if (s_.timers) {
        s_.timers->cancel(pendingRead_);
        s_.timers->cancel(pollTimer_);
    }
}

void TouchController::trace(const std::string& line) const {
    if (s_.trace) s_.trace(line);
}

double TouchController::primaryHeight() const {
    const auto screens = s_.screens ? s_.screens() : std::vector<Screen>{};
    return screens.empty() ? 0 : screens.front().frame.height();
}

void TouchController::start() {
    if (ready_) return;
    ready_ = true;
    readFinder(0);
    schedulePoll();
}

void TouchController::schedulePoll() {
    pollTimer_ = s_.timers->after(pollSeconds, [this] {
        pollTimer_ = 0;
        poll();
        schedulePoll();
    });
}

void TouchController::readFinder(double delay) {
    s_.timers->cancel(pendingRead_);
    std::weak_ptr<bool> alive = alive_;
    pendingRead_ = s_.timers->after(delay, [this, alive] {
        if (alive.lock()) run();
    });
}

void TouchController::run() {
    if (!ready_) return;
    // The layout only matters while some desktop window shows.
    const auto surfaces = s_.surfaces();
    if (std::none_of(surfaces.begin(), surfaces.end(), [](const auto& w) { return w && w->visible(); })) return;
    ++reads_;
    std::weak_ptr<bool> alive = alive_;
    s_.read([this, alive](const FinderResult& result) {
        if (alive.lock()) apply(result);
    });
}

void TouchController::apply(const FinderResult& result) {
    std::optional<FinderError> error;
    if (!result.ok()) error = result.error();
    // Errors compare by source and code; the menu also shows the reason.
    const bool changed = error.has_value() != lastError_.has_value() ||
                         (error && (*error != *lastError_ || error->reason != lastError_->reason));
    lastError_ = error;
    finderDenied_ = error && error->code == deniedCode;
    if (changed) {
        // The poll repeats a failing read every 2 s: say so when the failure starts or changes only.
        if (error && !error->quiet) std::fprintf(stderr, "vistamere: reading the desktop icon layout: %s\n", error->reason.c_str());
        if (s_.errorChanged) s_.errorChanged(lastError_);
    }
    if (error || result.layout() == layout_) return;
    layout_ = result.layout();
    trace("icon layout changed: " + std::to_string(layout_.centers.size()) + " icons");
    if (s_.trace) {
        // Where each window keeps the ground clear, in its own points from its top left: what tests
        // compare with the icons the manager draws.
        const auto surfaces = s_.surfaces();
        for (size_t i = 0; i < surfaces.size(); ++i) {
            if (!surfaces[i]) continue;
            std::string line = "icon centres on monitor " + std::to_string(i) + ":";
            for (const cg::Point& c : layout_.centersOn(surfaces[i]->frame(), primaryHeight())) {
                char point[64];
                std::snprintf(point, sizeof point, " %.1f,%.1f", c.x, c.y);
                line += point;
            }
            trace(line);
        }
    }
    if (s_.layoutChanged) s_.layoutChanged(layout_);
}

void TouchController::poll() {
    if (desktopShowing(s_.screens(), s_.windows(), s_.levels)) readFinder(0);
}

void TouchController::released(cg::Point p) {
    if (bareDesktop(s_.windowAt(p), s_.levels)) readFinder(releaseDelay);
}

void TouchController::occlusionChanged() { readFinder(0); }
void TouchController::sourceChanged() { readFinder(0); }

TouchController::Touch TouchController::touched(cg::Point p) {
    const Touch touch = [&] {
        if (s_.reduceMotion && s_.reduceMotion()) return Touch::reducedMotion;
        const auto surfaces = s_.surfaces();
        const auto it = std::find_if(surfaces.begin(), surfaces.end(),
                                     [&](const auto& w) { return w && w->frame().contains(p); });
        if (it == surfaces.end()) return Touch::offWindows;
        Surface& window = **it;
        const cg::Rect frame = window.frame();
        const cg::Point q{p.x - frame.minX(), frame.maxY() - p.y};
        // Only walkers and water answer a click.
        const auto walker = window.walkerAt(q);
        if (!walker && !window.wet(q)) return Touch::dry;
        if (!bareDesktop(s_.windowAt(p), s_.levels)) return Touch::covered;
        if (onIcon(layout_.centersOn(frame, primaryHeight()), layout_, q)) return Touch::onIcon;
        if (walker) {
            walker();
            return Touch::walker;
        }
        const bool night = s_.night();
        window.ripple(q, night, night && s_.scene() != SceneKind::winter);
        return Touch::ripple;
    }();
    char line[96];
    std::snprintf(line, sizeof line, "click at %.0f,%.0f: %s", p.x, p.y, name(touch));
    trace(line);
    return touch;
}

bool TouchController::desktopShowing(const std::vector<Screen>& screens, const std::vector<WindowInfo>& windows,
                                     Levels levels) {
    if (screens.empty()) return true;
    const double primaryHeight = screens.front().frame.height();
    // Only ordinary windows cover: not the desktop's own, not docks and panels, not see-through ones.
    std::vector<cg::Rect> covering;
    for (const WindowInfo& w : windows) {
        if (!w.layer || !(levels.icon < *w.layer && *w.layer < levels.dock)) continue;
        if (w.alpha && !(*w.alpha > 0)) continue;
        if (!w.bounds) continue;
        covering.push_back(*w.bounds);
    }
    size_t uncovered = 0;
    for (const Screen& screen : screens) {
        const cg::Rect& v = screen.visibleFrame;
        for (int j = 0; j < probeColumns; ++j)
            for (int k = 0; k < probeRows; ++k) {
                const cg::Point probe{v.minX() + (j + 0.5) * v.width() / probeColumns,
                                      primaryHeight - (v.minY() + (k + 0.5) * v.height() * 0.125)};
                if (std::none_of(covering.begin(), covering.end(), [&](const cg::Rect& r) { return r.contains(probe); }))
                    ++uncovered;
            }
    }
    return uncovered * 20 >= size_t(probeColumns * probeRows) * screens.size();
}

bool TouchController::bareDesktop(const std::optional<WindowInfo>& top, Levels levels) {
    if (!top) return true;
    return top->layer && *top->layer <= levels.icon;
}

bool TouchController::onIcon(const std::vector<cg::Point>& centers, const DeskLayout& layout, cg::Point q) {
    const double s = layout.iconSize, t = layout.textSize;
    const double labelWidth = std::max(s + 30, 9.5 * t);
    const double labelHeight = 2.6 * t + 4;
    for (const cg::Point& c : centers) {
        const cg::Rect icon(c.x - s / 2, c.y - s / 2, s, s);
        const cg::Rect label = layout.labelsRight
                                   ? cg::Rect(c.x + s / 2 + 2, c.y - labelHeight / 2, 1.3 * labelWidth, labelHeight)
                                   : cg::Rect(c.x - labelWidth / 2, c.y + s / 2 + 2, labelWidth, labelHeight);
        if (icon.unionWith(label).insetBy(-6, -6).contains(q)) return true;
    }
    return false;
}

const char* TouchController::name(Touch touch) {
    switch (touch) {
        case Touch::reducedMotion: return "motion reduced";
        case Touch::offWindows: return "no desktop window";
        case Touch::dry: return "dry";
        case Touch::covered: return "covered";
        case Touch::onIcon: return "icon";
        case Touch::walker: return "walker";
        case Touch::ripple: return "ripple";
    }
    return "?";
}
