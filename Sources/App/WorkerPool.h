#pragma once
// A fixed number of jobs at a time, taken first in, first out, on the program's background threads. One
// makes a serial queue. The destructor lets the jobs already queued finish.

#include <string>

#include "App/Workers.h"
#include "Platform/Background/Background.h"

class WorkerPool : public Workers {
public:
    // `name` appears in the log line of a job that failed.
    WorkerPool(int threads, std::string name) : pool_(threads < 1 ? 1 : threads, std::move(name)) {}

    void run(std::function<void()> job) override { pool_.run(std::move(job)); }

private:
    background::Pool pool_;
};
