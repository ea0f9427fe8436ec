#pragma once
// Fakes of the main queue, its timers and the workers: work waits until the test lets it run.

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "App/MainQueue.h"
#include "App/Timers.h"
#include "App/Workers.h"

struct FakeMain : MainQueue {
    std::vector<std::function<void()>> posts;
    void post(std::function<void()> work) override { posts.push_back(std::move(work)); }
    void drain() {
        while (!posts.empty()) {
            auto batch = std::move(posts);
            posts.clear();
            for (auto& w : batch) w();
        }
    }
};

// Jobs wait until the test runs them, in whatever order it likes: a render that "finishes last".
struct FakeWorkers : Workers {
    std::vector<std::function<void()>> jobs;
    void run(std::function<void()> job) override { jobs.push_back(std::move(job)); }
    void runAll() {
        auto batch = std::move(jobs);
        jobs.clear();
        for (auto& j : batch) j();
    }
};

// A clock that moves only when told; timers fire in the order they fall due.
struct FakeTimers : Timers {
    double now = 0;
    Id next = 1;
    std::map<Id, std::pair<double, std::function<void()>>> due;

    Id after(double seconds, std::function<void()> work) override {
        due[next] = {now + seconds, std::move(work)};
        return next++;
    }
    void cancel(Id id) override { due.erase(id); }
    void advance(double seconds) {
        const double end = now + seconds;
        for (;;) {
            auto first = std::min_element(due.begin(), due.end(),
                                          [](const auto& a, const auto& b) { return a.second.first < b.second.first; });
            if (first == due.end() || first->second.first > end) break;
            now = first->second.first;
            auto work = std::move(first->second.second);
            due.erase(first);
            work();
        }
        now = end;
    }
    void advanceTo(double time) { advance(time - now); }
};
