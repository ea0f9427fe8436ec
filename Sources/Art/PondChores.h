#pragma once
// Pictures and patches the pond makes beside its garden, handed out one at a time to whichever thread
// asks: threads waiting for the ground take them until the garden's bands open, and the band lanes that
// run out of bands take the rest. Each chore writes only its own result, so which thread made what, and
// in which order, changes no byte.

#include <atomic>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

class PondChores {
public:
    // Chores are added before any is taken, longest first where it matters: the last one taken decides
    // how long the others wait.
    void add(std::function<void()> chore) { chores_.push_back(std::move(chore)); }
    std::size_t size() const { return chores_.size(); }

    // Runs chores in the order added, each by one caller only, until none is left; with `more`, asks it
    // before taking each and stops at its first no, leaving the chore for another caller. Safe to call
    // from several threads at once.
    void work(const std::function<bool()>& more = {}) {
        while (!more || more()) {
            const std::size_t k = next_.fetch_add(1, std::memory_order_relaxed);
            if (k >= chores_.size()) return;
            chores_[k]();
        }
    }

private:
    std::vector<std::function<void()>> chores_;
    std::atomic<std::size_t> next_{0};
};
