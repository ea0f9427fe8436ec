#pragma once
// A raster of floats at one cell per 4 points. The terrain is five of them; once built they are read
// concurrently by the shading rows and later by the water test, and never written again.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "Platform/Check.h"
#include "Platform/Graphics/Geometry.h"

// Leaves the floats of a resized vector unset, so that a grid's memory is first written, page by page,
// by the threads that fill its rows rather than by the one that makes it: fresh pages are costly to
// fault in one after another.
template <class T>
struct UnsetAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnsetAllocator<U>;
    };
    UnsetAllocator() = default;
    template <class U>
    UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        if constexpr (sizeof...(Args) == 0) ::new (static_cast<void*>(at)) U;
        else ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

class Grid {
public:
    Grid(int64_t cols, int64_t rows, float fill);
    struct CopyTag {};
    Grid(CopyTag, const Grid& other);
    Grid(const Grid&) = delete;  // grids are shared by reference; copies are explicit
    Grid& operator=(const Grid&) = delete;

    float& at(int64_t i, int64_t j) {
        VM_CHECK(i >= 0 && i < cols && j >= 0 && j < rows, "grid node out of range");
        return p[static_cast<std::size_t>(j * cols + i)];
    }
    float at(int64_t i, int64_t j) const {
        VM_CHECK(i >= 0 && i < cols && j >= 0 && j < rows, "grid node out of range");
        return p[static_cast<std::size_t>(j * cols + i)];
    }

    // Bilinear sample at a scene point, clamped so the last column and row never contribute.
    float sample(cg::Point pt) const { return sample(static_cast<float>(pt.x), static_cast<float>(pt.y)); }
    float sample(float x, float y) const {
        float fx = x * 0.25f;
        if (!(fx > 0)) fx = 0;  // also catches NaN
        if (fx > static_cast<float>(cols - 2)) fx = static_cast<float>(cols - 2);
        float fy = y * 0.25f;
        if (!(fy > 0)) fy = 0;
        if (fy > static_cast<float>(rows - 2)) fy = static_cast<float>(rows - 2);
        const int64_t i = static_cast<int64_t>(fx), j = static_cast<int64_t>(fy);
        VM_CHECK(cols >= 2 && rows >= 2 && i >= 0 && j >= 0, "sample of a grid smaller than 2 × 2");
        const float* r0 = p.data() + j * cols + i;
        const float* r1 = r0 + cols;
        const float tx = fx - static_cast<float>(i), ty = fy - static_cast<float>(j);
        const float a = r0[0] + tx * (r0[1] - r0[0]);
        const float b = r1[0] + tx * (r1[1] - r1[0]);
        return a + ty * (b - a);
    }

    const int64_t cols;
    const int64_t rows;
    std::vector<float, UnsetAllocator<float>> p;  // row-major: column i, row j at j·cols + i
};

using GridRef = std::shared_ptr<Grid>;
