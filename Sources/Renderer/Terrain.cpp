#include "Renderer/Terrain.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/Random.h"

namespace {

// max and min that keep the first argument's bits on ties (they matter for signed zeros).
inline float greater(float x, float y) { return y >= x ? y : x; }
inline float lesser(float x, float y) { return y < x ? y : x; }

// Truncation toward zero; NaN gives 0 and magnitudes beyond any grid saturate instead of overflowing.
int64_t truncated(float x) {
    constexpr float limit = 1099511627776.0f;  // 2^40
    if (!(x > -limit)) return x != x ? 0 : -static_cast<int64_t>(limit);
    if (x >= limit) return static_cast<int64_t>(limit);
    return static_cast<int64_t>(x);
}

GridRef copyOf(const Grid& g) { return std::make_shared<Grid>(Grid::CopyTag{}, g); }

// Roughness and colour noise, row by row: every cell depends only on itself.
void roughen(Grid& v, Grid& tex, uint32_t s) {
    const int64_t cols = v.cols;
    dispatch::concurrentPerform(static_cast<std::size_t>(v.rows), [&, s](std::size_t row) {
        const auto j = static_cast<int64_t>(row);
        const float Y = static_cast<float>(4 * j);
        const float y160 = Y / 160.0f, y70 = Y / 70.0f, y30 = Y / 30.0f, y13 = Y / 13.0f;
        float* vr = v.p.data() + j * cols;
        float* tr = tex.p.data() + j * cols;
        for (int64_t i = 0; i < cols; ++i) {
            const float X = static_cast<float>(4 * i);
            const float n = 0.5f * valueNoise(X / 160.0f, y160, s) + 0.33f * valueNoise(X / 70.0f, y70, s + 17u) +
                            0.17f * valueNoise(X / 30.0f, y30, s + 31u);
            tr[i] = n;
            const float h = vr[i];
            // Open water stays flat: with h = 0 the sum below is exactly 0, so the last noise is skipped.
            if (h == 0.0f) continue;
            vr[i] = h + (0.4f * n + 0.1f * valueNoise(X / 13.0f, y13, s + 53u)) * lesser(h / 0.15f, 1.0f);
        }
    });
}

// Cliff faces: each water cell looks up to kMax rows up for land; within reach it becomes part of the
// face (its body raised to the land) and gets its depth below the edge.
void carve(const Grid& v, Grid& body, Grid& depth, float landAt, float cliff) {
    const int64_t kMax = std::min<int64_t>(std::max<int64_t>(truncated(cliff * 0.25f), 0), v.rows);
    const int64_t cols = v.cols;
    dispatch::concurrentPerform(static_cast<std::size_t>(v.rows), [&](std::size_t row) {
        const auto j = static_cast<int64_t>(row);
        for (int64_t i = 0; i < cols; ++i) {
            const float here = v.at(i, j);
            if (here >= landAt) {
                depth.at(i, j) = 0;
                continue;
            }
            float prev = here;
            for (int64_t k = 1; k <= kMax && j - k >= 0; ++k) {
                const float up = v.at(i, j - k);
                body.at(i, j) = greater(up, body.at(i, j));
                if (up >= landAt) {
                    depth.at(i, j) = ((landAt - prev) / greater(up - prev, 0.0001f) + static_cast<float>(k - 1)) * 4.0f;
                    break;
                }
                prev = up;
            }
        }
    });
}

// (¼, ½, ¼) horizontally into the scratch grid, then vertically back; borders stand in for their
// missing neighbours. Rows are independent within each pass.
void blur(Grid& g, Grid& scratch) {
    const int64_t cols = g.cols, rows = g.rows;
    dispatch::concurrentPerform(static_cast<std::size_t>(rows), [&](std::size_t row) {
        const auto j = static_cast<int64_t>(row);
        const float* in = g.p.data() + j * cols;
        float* out = scratch.p.data() + j * cols;
        for (int64_t i = 0; i < cols; ++i) {
            const int64_t l = i > 0 ? i - 1 : 0, r = i + 1 < cols ? i + 1 : cols - 1;
            out[i] = in[l] * 0.25f + in[i] * 0.5f + in[r] * 0.25f;
        }
    });
    dispatch::concurrentPerform(static_cast<std::size_t>(rows), [&](std::size_t row) {
        const auto j = static_cast<int64_t>(row);
        const int64_t u = j > 0 ? j - 1 : 0, d = j + 1 < rows ? j + 1 : rows - 1;
        const float* above = scratch.p.data() + u * cols;
        const float* here = scratch.p.data() + j * cols;
        const float* below = scratch.p.data() + d * cols;
        float* out = g.p.data() + j * cols;
        for (int64_t i = 0; i < cols; ++i) out[i] = above[i] * 0.25f + here[i] * 0.5f + below[i] * 0.25f;
    });
}

}  // namespace

int64_t Terrain::columnsFor(double width) {
    // Screens are never negative or beyond 2^24 points; outside that the count is clamped.
    const int64_t n = truncated(static_cast<float>(width) * 0.25f);
    return std::clamp<int64_t>(n, 0, int64_t{1} << 22) + 3;
}

namespace {

// The grid rows and columns a blob reaches, clamped to the grid (empty when j0 > j1 or i0 > i1).
struct Reach {
    int64_t i0, i1, j0, j1;
};

Reach reachOf(const Grid& v, const Terrain::Blob& blob) {
    const float r = static_cast<float>(blob.r);
    const float minX = static_cast<float>(blob.box.minX()), maxX = static_cast<float>(blob.box.maxX());
    const float minY = static_cast<float>(blob.box.minY()), maxY = static_cast<float>(blob.box.maxY());
    return {std::max<int64_t>(truncated((minX - r) * 0.25f), 0),
            std::min<int64_t>(truncated((maxX + r) * 0.25f) + 1, v.cols - 1),
            std::max<int64_t>(truncated((minY - r) * 0.25f), 0),
            std::min<int64_t>(truncated((maxY + r) * 0.25f) + 1, v.rows - 1)};
}

// One blob's contribution to grid row j (within its reach).
void raiseRow(Grid& v, const Terrain::Blob& blob, const Reach& reach, int64_t j) {
    const float r = static_cast<float>(blob.r);
    const float minX = static_cast<float>(blob.box.minX()), maxX = static_cast<float>(blob.box.maxX());
    const float minY = static_cast<float>(blob.box.minY()), maxY = static_cast<float>(blob.box.maxY());
    const float rr = r * r, amp = blob.amp;
    const float Y = static_cast<float>(4 * j);
    const float dy = greater(greater(minY - Y, Y - maxY), 0.0f);
    float* row = v.p.data() + j * v.cols;
    for (int64_t i = reach.i0; i <= reach.i1; ++i) {
        const float X = static_cast<float>(4 * i);
        const float dx = greater(greater(minX - X, X - maxX), 0.0f);
        const float q = (dy * dy + dx * dx) / rr;
        if (q < 1.0f) row[i] += (1.0f - q) * (amp * (1.0f - q));
    }
}

// Every blob, row by row: each row takes the blobs in their order, so every cell sums them in the
// same order as one blob after another would.
void raiseAll(Grid& v, const std::vector<Terrain::Blob>& blobs) {
    std::vector<Reach> reaches;
    reaches.reserve(blobs.size());
    for (const Terrain::Blob& b : blobs) reaches.push_back(reachOf(v, b));
    dispatch::concurrentPerform(static_cast<std::size_t>(v.rows), [&](std::size_t row) {
        const auto j = static_cast<int64_t>(row);
        for (std::size_t k = 0; k < blobs.size(); ++k)
            if (j >= reaches[k].j0 && j <= reaches[k].j1) raiseRow(v, blobs[k], reaches[k], j);
    });
}

}  // namespace

void Terrain::raise(Grid& v, const Blob& blob) {
    const Reach reach = reachOf(v, blob);
    for (int64_t j = reach.j0; j <= reach.j1; ++j) raiseRow(v, blob, reach, j);
}

Terrain Terrain::make(cg::Size size, const std::vector<Blob>& blobs, float landAt, float cliff, uint32_t seed,
                      bool crisp, const Reshape& reshape) {
    const int64_t cols = columnsFor(size.width), rows = rowsFor(size.height);
    auto v = std::make_shared<Grid>(cols, rows, 0.0f);
    auto tex = std::make_shared<Grid>(cols, rows, 0.0f);
    raiseAll(*v, blobs);
    roughen(*v, *tex, seed);
    if (reshape) reshape(*v, *tex);
    GridRef body = copyOf(*v);
    auto depth = std::make_shared<Grid>(cols, rows, cliff);
    carve(*v, *body, *depth, landAt, cliff);
    GridRef shade = copyOf(*body);
    if (!crisp) {
        Grid scratch(cols, rows, 0.0f);
        blur(*shade, scratch);
        blur(*shade, scratch);
    }
    return Terrain{std::move(v), std::move(body), std::move(shade), std::move(depth), std::move(tex)};
}

void shelve(Grid& v, const Grid& tex, float landAt, float top) {
    const int64_t cols = v.cols, rows = v.rows;
    if (cols <= 0 || rows <= 0) return;
    // Chamfer distance to land, in cells.
    Grid dist(cols, rows, 1000000.0f);
    dispatch::concurrentPerform(static_cast<std::size_t>(rows), [&](std::size_t row) {
        const std::size_t k0 = row * static_cast<std::size_t>(cols), k1 = k0 + static_cast<std::size_t>(cols);
        for (std::size_t k = k0; k < k1; ++k)
            if (v.p[k] >= landAt) dist.p[k] = 0;
    });
    auto relax = [&](int64_t i, int64_t j, int64_t di, int64_t dj, float w) {
        const int64_t ni = i + di, nj = j + dj;
        if (ni < 0 || ni >= cols || nj < 0 || nj >= rows) return;
        const float d = dist.at(ni, nj) + w;
        if (d < dist.at(i, j)) dist.at(i, j) = d;
    };
    for (int64_t j = 0; j < rows; ++j)
        for (int64_t i = 0; i < cols; ++i) {
            if (!(dist.at(i, j) > 0)) continue;
            relax(i, j, -1, 0, 1.0f);
            relax(i, j, 0, -1, 1.0f);
            relax(i, j, -1, -1, 1.414f);
            relax(i, j, 1, -1, 1.414f);
        }
    for (int64_t j = rows - 1; j >= 0; --j)
        for (int64_t i = cols - 1; i >= 0; --i) {
            if (!(dist.at(i, j) > 0)) continue;
            relax(i, j, 1, 0, 1.0f);
            relax(i, j, 0, 1, 1.0f);
            relax(i, j, 1, 1, 1.414f);
            relax(i, j, -1, 1, 1.414f);
        }

    // The shelf: top on the coast, fading out over 10 to 50 points depending on the texture, with a
    // noisy edge.
    Grid shelf(cols, rows, 0.0f);
    dispatch::concurrentPerform(static_cast<std::size_t>(rows), [&](std::size_t row) {
        const auto j = static_cast<int64_t>(row);
        const float Y = static_cast<float>(4 * j);
        for (int64_t i = 0; i < cols; ++i) {
            const float d = dist.at(i, j);
            // Beyond 25 cells c is negative whatever the noise (4·25·0.55 > 50), so the shelf is 0.
            if (d > 25.0f) continue;
            const float X = static_cast<float>(4 * i);
            const float g = std::clamp((tex.at(i, j) + 0.6f) / 1.2f, 0.0f, 1.0f);
            const float noise = valueNoise(X / 25.0f, Y / 25.0f, 61);
            float c = 1.0f - 4.0f * d * (1.0f + 0.45f * noise) / (10.0f + 40.0f * (g * g) * (3.0f - 2.0f * g));
            c = std::clamp(c, 0.0f, 1.0f);
            const float e = 1.0f - c;
            shelf.at(i, j) = top * (1.0f - e * e * e);
        }
    });

    // Two 3 × 3 means over the interior; the outermost rows and columns keep their values. The distance
    // grid is done with and holds the previous pass.
    Grid& prev = dist;
    for (int pass = 0; pass < 2; ++pass) {
        prev.p = shelf.p;
        dispatch::concurrentPerform(static_cast<std::size_t>(rows > 2 ? rows - 2 : 0), [&](std::size_t row) {
            const auto j = static_cast<int64_t>(row) + 1;
            for (int64_t i = 1; i + 1 < cols; ++i) {
                float sum = 0;
                for (int64_t b = -1; b <= 1; ++b)
                    for (int64_t a = -1; a <= 1; ++a) sum += prev.at(i + a, j + b);
                shelf.at(i, j) = sum / 9.0f;
            }
        });
    }

    dispatch::concurrentPerform(static_cast<std::size_t>(rows), [&](std::size_t row) {
        const std::size_t k0 = row * static_cast<std::size_t>(cols), k1 = k0 + static_cast<std::size_t>(cols);
        for (std::size_t k = k0; k < k1; ++k)
            if (v.p[k] < landAt) v.p[k] = greater(v.p[k], lesser(top, shelf.p[k]));
    });
}
