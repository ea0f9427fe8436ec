#include "Platform/Animation/RectIndex.h"

#include <algorithm>
#include <cmath>

namespace ca::detail {

namespace {
constexpr size_t kLinear = 8;  // below this many rects a plain scan is faster
constexpr int kMaxCells = 64;  // per side
}  // namespace

void RectIndex::cellRange(const cg::Rect& r, int& cx0, int& cy0, int& cx1, int& cy1) const {
    auto cell = [&](double v, double origin, int n) {
        const double c = std::floor((v - origin) / cell_);
        return static_cast<int>(std::clamp(c, 0.0, double(n - 1)));
    };
    cx0 = cell(r.minX(), box_.minX(), cols_);
    cx1 = cell(r.maxX(), box_.minX(), cols_);
    cy0 = cell(r.minY(), box_.minY(), rows_);
    cy1 = cell(r.maxY(), box_.minY(), rows_);
}

void RectIndex::build(std::span<const cg::Rect> rects) {
    rects_.clear();
    box_ = cg::Rect::null();
    for (const cg::Rect& r : rects) {
        if (r.isEmpty()) continue;
        rects_.push_back(r.standardized());
        box_ = box_.unionWith(r);
    }
    cols_ = rows_ = 0;
    seen_.assign(rects_.size(), 0);
    stamp_ = 0;
    if (rects_.size() < kLinear) return;
    cell_ = std::max({64.0, box_.width() / kMaxCells, box_.height() / kMaxCells});
    cols_ = std::max(1, int(std::ceil(box_.width() / cell_)));
    rows_ = std::max(1, int(std::ceil(box_.height() / cell_)));
    start_.assign(size_t(cols_) * size_t(rows_) + 1, 0);
    for (const cg::Rect& r : rects_) {
        int x0, y0, x1, y1;
        cellRange(r, x0, y0, x1, y1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) start_[size_t(y) * size_t(cols_) + size_t(x) + 1] += 1;
    }
    for (size_t i = 1; i < start_.size(); ++i) start_[i] += start_[i - 1];
    items_.resize(start_.back());
    next_.assign(start_.begin(), start_.end() - 1);  // advancing copy of the starts
    for (uint32_t k = 0; k < rects_.size(); ++k) {
        int x0, y0, x1, y1;
        cellRange(rects_[k], x0, y0, x1, y1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) items_[next_[size_t(y) * size_t(cols_) + size_t(x)]++] = k;
    }
}

bool RectIndex::collect(const cg::Rect& r, std::vector<cg::Rect>& out) {
    out.clear();
    if (r.isNull() || rects_.empty()) return false;
    auto consider = [&](uint32_t k) {
        const cg::Rect& q = rects_[k];
        if (!q.intersects(r)) return false;
        if (q.contains(r)) return true;
        if (seen_[k] != stamp_) {
            seen_[k] = stamp_;
            out.push_back(q);
        }
        return false;
    };
    if (++stamp_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        stamp_ = 1;
    }
    if (cols_ == 0) {
        for (uint32_t k = 0; k < rects_.size(); ++k)
            if (consider(k)) return true;
        return false;
    }
    if (!box_.intersects(r)) return false;
    int x0, y0, x1, y1;
    cellRange(r, x0, y0, x1, y1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const size_t c = size_t(y) * size_t(cols_) + size_t(x);
            for (uint32_t i = start_[c]; i < start_[c + 1]; ++i)
                if (consider(items_[i])) return true;
        }
    return false;
}

bool RectIndex::intersectsAny(const cg::Rect& r) const {
    if (r.isNull() || rects_.empty()) return false;
    if (cols_ == 0) {
        for (const cg::Rect& q : rects_)
            if (q.intersects(r)) return true;
        return false;
    }
    if (!box_.intersects(r)) return false;
    int x0, y0, x1, y1;
    cellRange(r, x0, y0, x1, y1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const size_t c = size_t(y) * size_t(cols_) + size_t(x);
            for (uint32_t i = start_[c]; i < start_[c + 1]; ++i)
                if (rects_[items_[i]].intersects(r)) return true;
        }
    return false;
}

}  // namespace ca::detail
