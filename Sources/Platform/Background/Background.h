#pragma once
// The one place background work runs: GLib's shared worker threads. Idle threads serve every pool, so a
// serial queue costs no thread of its own while it is empty.

#include <functional>
#include <string>

struct _GThreadPool;

namespace background {

class Pool {
public:
    // At most `threads` of this pool's jobs run at once, taken first in, first out; one makes a serial
    // queue, and below one means no bound. `name` appears in the log line of a job that failed.
    Pool(int threads, std::string name);
    // Lets the jobs already queued finish.
    ~Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // Safe from any thread; returns at once.
    void run(std::function<void()> job);

private:
    static void work(void* job, void* pool);

    std::string name_;
    _GThreadPool* pool_;
};

// Blocking work (a file or bus read, a download) with no bound on how many run at once: a job stuck on a
// source that never answers holds one thread and never delays the next job. The program's exit does not
// wait for it.
void run(std::function<void()> job);

}  // namespace background
