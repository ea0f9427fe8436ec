#pragma once
// The height field a scene is shaded from, on five grids of equal size (one cell per 4 points):
// height, the solid body with its cliff faces, the shadow caster, the depth below land edges and the
// colour texture. Built once per render; afterwards only read.

#include <cstdint>
#include <functional>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Renderer/Grid.h"

struct Terrain {
    // Raises the height by amp·(1 − (d/r)²)² at every grid point whose distance d to `box` is below r.
    // A zero-size box is a round mound.
    struct Blob {
        cg::Rect box;
        double r = 0;
        float amp = 0;
    };
    // Rewrites the height and texture grids in place after the noise (shelf, street lattice).
    using Reshape = std::function<void(Grid& v, Grid& tex)>;

    GridRef v;      // height: land where v >= the look's land level
    GridRef body;   // v raised under every land edge by the cliff
    GridRef shade;  // body blurred twice (unless crisp): casts the shadows
    GridRef depth;  // water: points down from the land edge above, up to the cliff height; land: 0
    GridRef tex;    // colour noise in [-1, 1]

    static Terrain make(cg::Size size, const std::vector<Blob>& blobs, float landAt, float cliff, uint32_t seed,
                        bool crisp, const Reshape& reshape = {});

    // The grid a scene of this size gets: 4-point cells, the last column and row beyond the edges.
    static int64_t columnsFor(double width);
    static int64_t rowsFor(double height) { return columnsFor(height); }

    // One blob added into a height grid, touching only the cells in its reach.
    static void raise(Grid& v, const Blob& blob);
};

// Raises shallow water near land into a shelf: at most `top`, never lowering a cell, land untouched.
// Reads the texture grid for the shelf's width.
void shelve(Grid& v, const Grid& tex, float landAt, float top);
