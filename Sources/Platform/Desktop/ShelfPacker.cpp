#include "Platform/Desktop/ShelfPacker.h"

std::optional<ShelfPacker::Place> ShelfPacker::place(int w, int h) {
    if (w <= 0 || h <= 0) return std::nullopt;
    const int cw = w + gutter_, ch = h + gutter_;  // with the gutter after it; the page starts with one
    if (cw + gutter_ > size_ || ch + gutter_ > size_) return std::nullopt;
    // The lowest shelf that holds it without wasting more than half its height.
    Shelf* best = nullptr;
    for (Shelf& s : shelves_)
        if (s.height >= ch && s.height <= 2 * ch && s.x + cw <= size_ && (!best || s.height < best->height)) best = &s;
    if (!best) {
        if (top_ + ch > size_) return std::nullopt;
        if (shelves_.empty()) top_ = gutter_;
        if (top_ + ch > size_) return std::nullopt;
        shelves_.push_back({top_, ch, gutter_});
        top_ += ch;
        best = &shelves_.back();
    }
    const Place p{best->x, best->y};
    best->x += cw;
    live_ += 1;
    return p;
}

void ShelfPacker::release() {
    if (live_ > 0) live_ -= 1;
    if (live_ == 0) {
        shelves_.clear();
        top_ = 0;
    }
}

long long ShelfPacker::used() const {
    long long n = 0;
    for (const Shelf& s : shelves_) n += (long long)(s.x) * s.height;
    return n;
}
