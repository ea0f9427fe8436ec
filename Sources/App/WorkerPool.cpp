#include "App/WorkerPool.h"

#include <cstdio>
#include <exception>

WorkerPool::WorkerPool(int threads, std::string name) : name_(std::move(name)) {
    if (threads < 1) threads = 1;
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { loop(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    for (auto& t : threads_) t.join();
}

void WorkerPool::run(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
}

void WorkerPool::loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        // One failed job (out of memory in a render) must not take the program down with it.
        try {
            job();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vistamere: a %s job failed: %s\n", name_.c_str(), e.what());
        } catch (...) {
            std::fprintf(stderr, "vistamere: a %s job failed\n", name_.c_str());
        }
    }
}
