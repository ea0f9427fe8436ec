#include "DesktopWindow/ActorLayer.h"

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/KeyframeAnimation.h"

#include <algorithm>
#include <cmath>
#include <optional>

void ActorLayer::setOff(double mediaTime) {
    const double now = convertTime(mediaTime, nullptr);
    if (now < busy) return;  // still turning
    if (frames.empty() || way.empty()) return;
    const ca::Presentation shown = presentation(mediaTime);
    const cg::Point pos = shown.position;

    std::optional<size_t> best;
    double bestF = 0, bestD = 0;
    const size_t count = way.size();
    for (size_t i = 0; i < frames.size() && i < count; ++i) {
        if (frames[i] != shown.contents) continue;
        const cg::Point a = way[i], b = way[(i + 1) % count];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double len2 = dx * dx + dy * dy;
        if (!(len2 > 0)) continue;
        const double f = std::clamp(((pos.x - a.x) * dx + (pos.y - a.y) * dy) / len2, 0.0, 1.0);
        const double d = std::hypot(a.x + f * dx - pos.x, a.y + f * dy - pos.y);
        if (best ? d < bestD : d < 2) {
            best = i;
            bestF = f;
            bestD = d;
        }
    }
    if (best) setOff(*best, bestF, now);
}

void ActorLayer::setOff(size_t i, double f, double now) {
    if (turns.size() != 2 || way.size() < 2 || i >= way.size()) return;
    const auto walk = animation("motion");
    if (!walk) return;
    const size_t j = (i + 1) % way.size();
    const cg::Point a = way[i], b = way[j];
    const auto& seq = a.x < b.x ? turns[0] : turns[1];
    if (seq.empty()) return;
    const double playing = tick * static_cast<double>(seq.size());
    busy = now + playing;

    // The walk waits until the turn is over, then goes on from this very point of its loop.
    auto resumed = walk->clone();
    resumed->timeOffset = (f + static_cast<double>(i)) * tick;
    resumed->beginTime = busy;
    add(*resumed, "motion");

    const cg::Point here{a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)};
    ca::KeyframeAnimation pictures("contents");
    pictures.values.assign(seq.begin(), seq.end());
    pictures.calculationMode = ca::CalculationMode::discrete;
    ca::BasicAnimation stand("position");
    stand.fromValue = here;
    stand.toValue = here;
    ca::AnimationGroup turn;
    turn.add(pictures);
    turn.add(stand);
    turn.beginTime = now;
    turn.duration = playing + 0.05;  // outlasts the wait, so no walking picture flashes between
    add(turn, "turn");
}
