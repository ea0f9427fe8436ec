#include "Platform/Background/Background.h"

#include <glib.h>

#include <cstdio>
#include <exception>

namespace background {

Pool::Pool(int threads, std::string name) : name_(std::move(name)) {
    // Not exclusive: the threads are GLib's shared ones. Without a sort function the queue is first in,
    // first out.
    pool_ = g_thread_pool_new(&Pool::work, this, threads < 1 ? -1 : threads, FALSE, nullptr);
}

Pool::~Pool() { g_thread_pool_free(pool_, FALSE, TRUE); }

void Pool::run(std::function<void()> job) {
    g_thread_pool_push(pool_, new std::function<void()>(std::move(job)), nullptr);
}

void Pool::work(void* job, void* pool) {
    auto* f = static_cast<std::function<void()>*>(job);
    const std::string& name = static_cast<Pool*>(pool)->name_;
    // One failed job (out of memory in a render) must not take the program down with it.
    try {
        (*f)();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vistamere: a %s job failed: %s\n", name.c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "vistamere: a %s job failed\n", name.c_str());
    }
    delete f;
}

void run(std::function<void()> job) {
    // Never destroyed: destroying it would make the exit wait for a read that may never return.
    static Pool* const blocking = new Pool(0, "background");
    blocking->run(std::move(job));
}

}  // namespace background
