#pragma once
// Rows of pose frames asked for one after another and drawn all at once, on several threads, by
// Art::offscreenEach. A painter first places its groups, then draws every row in one go, then builds
// its sprites: the pictures are the same as row-by-row drawing, only their order of making differs.

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "Art/Art.h"
#include "Platform/Check.h"

// A row keeps the frames that could be made, in phase order (as Art::poseRow and Art::fishFrames do).
class PictureBatch {
public:
    using Pose = std::function<void(Art&, double)>;

    // count frames of w × h points: pose(j / count) for j = 0 … count − 1. Returns the row's handle.
    std::size_t row(int count, double w, double h, Pose pose) {
        const std::size_t first = jobs_.size();
        for (int j = 0; j < count; ++j)
            jobs_.push_back({w, h, static_cast<double>(j) / static_cast<double>(count), pose});
        rows_.push_back({first, jobs_.size()});
        return rows_.size() - 1;
    }
    // The n poses (or their shadows) of a fish on its canvas.
    std::size_t fish(const Art::Fish& fish, int n, bool shadow) {
        const cg::Size canvas = Art::fishCanvas(fish);
        const double W = canvas.width, H = canvas.height;
        return row(n, W, H, [fish, W, H, shadow](Art& a, double ph) { a.fishPose(fish, ph, W, H, shadow); });
    }
    void draw(const Art& art) {
        images_ = art.offscreenEach(jobs_.size(), [&](Art& a, std::size_t i) { return make(a, i); });
    }
    // The same, picture by picture, for a painter that hands the pictures out among its own jobs: after
    // open(), drawOne(a, i) for each i below size(), once each, from any threads.
    std::size_t size() const { return jobs_.size(); }
    void open() { images_.assign(jobs_.size(), nullptr); }
    void drawOne(const Art& art, std::size_t i) {
        images_[i] = art.offscreenEach(1, [&](Art& a, std::size_t) { return make(a, i); }).front();
    }
    std::vector<cg::ImageRef> frames(std::size_t handle) const {
        VM_CHECK(handle < rows_.size() && images_.size() == jobs_.size(), "row asked for before it was drawn");
        std::vector<cg::ImageRef> out;
        for (std::size_t i = rows_[handle].first; i < rows_[handle].second; ++i)
            if (images_[i]) out.push_back(images_[i]);
        return out;
    }
    // The single picture of a one-frame row (none when it could not be made).
    cg::ImageRef image(std::size_t handle) const {
        VM_CHECK(handle < rows_.size() && images_.size() == jobs_.size(), "picture asked for before it was drawn");
        VM_CHECK(rows_[handle].first < rows_[handle].second, "picture of an empty row");
        return images_[rows_[handle].first];
    }

private:
    cg::ImageRef make(Art& a, std::size_t i) const {
        const Job& job = jobs_[i];
        return a.offscreen(job.w, job.h, [&] { job.pose(a, job.phase); });
    }
    struct Job {
        double w, h, phase;
        Pose pose;
    };
    std::vector<Job> jobs_;
    std::vector<std::pair<std::size_t, std::size_t>> rows_;
    std::vector<cg::ImageRef> images_;
};

