#pragma once
// Pictures and patches the pond makes beside its garden, handed out one at a time to whichever thread
// asks: the garden's band lanes take them as they run out of bands. Each chore writes only its own
// result, so which thread made what, and in which order, changes no byte.

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

    // Runs chores in the order added, each by one caller only, until none is left. Safe to call from
    // several threads at once; returns when no chore is left to take (others may still be running).
    void work() {
        for (std::size_t k = next_.fetch_add(1, std::memory_order_relaxed); k < chores_.size();
             k = next_.fetch_add(1, std::memory_order_relaxed))
            chores_[k]();
    }

private:
    std::vector<std::function<void()>> chores_;
    std::atomic<std::size_t> next_{0};
};
