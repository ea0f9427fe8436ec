#pragma once
// Places small pictures in one square texture (an atlas page) so that many of them draw in one call:
// shelves of rows, each as tall as the first picture it took, filled left to right. Every picture
// keeps `gutter` clear texels from its neighbours and the page's edges, so that filtering past its
// edge reads transparent texels as it would beyond a texture of its own. Places are not reused one
// by one: the page is free again once every picture on it is released.

#include <optional>
#include <vector>

class ShelfPacker {
public:
    struct Place {
        int x, y;  // the picture's first texel
    };
    ShelfPacker(int size, int gutter) : size_(size), gutter_(gutter) {}

    // Where a w × h picture goes, or nothing when the page has no room left for it.
    std::optional<Place> place(int w, int h);
    // One picture fewer on the page.
    void release();
    int pictures() const { return live_; }
    int size() const { return size_; }
    // Texels that shelves have taken (for tests).
    long long used() const;

private:
    struct Shelf {
        int y, height, x;  // x: where the next picture starts
    };
    int size_, gutter_;
    int live_ = 0;
    int top_ = 0;  // below the last shelf (rows from the page's start)
    std::vector<Shelf> shelves_;
};
