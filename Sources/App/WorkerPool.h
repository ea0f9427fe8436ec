#pragma once
// A fixed number of threads taking jobs first in, first out. One thread makes a serial queue. The
// destructor lets the jobs already queued finish.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "App/Workers.h"

class WorkerPool : public Workers {
public:
    // `name` appears in the log line of a job that failed.
    WorkerPool(int threads, std::string name);
    ~WorkerPool() override;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void run(std::function<void()> job) override;

private:
    void loop();

    std::string name_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
