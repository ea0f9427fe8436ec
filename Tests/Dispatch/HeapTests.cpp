#include "Platform/Dispatch/Heap.h"

#include "Platform/Dispatch/Dispatch.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <thread>

// The heap settings are the whole process's, so every check runs in a fresh child of its own. Under a
// sanitizer, whose allocator stands in for the C library's, the settings mean nothing: the steps still run
// (for the sanitizer to check), but the page faults are not counted against them.

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VM_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VM_OWN_ALLOCATOR 1
#endif
#endif

namespace {

#ifdef VM_OWN_ALLOCATOR
constexpr bool kLibraryHeap = false;
#else
constexpr bool kLibraryHeap = true;
#endif

long minorFaults() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_minflt;
}

// Page faults taken while a fresh block of `bytes` is written page by page, then freed.
long faultsWriting(std::size_t bytes) {
    const long before = minorFaults();
    auto* block = static_cast<volatile unsigned char*>(std::malloc(bytes));
    if (!block) std::exit(3);
    for (std::size_t at = 0; at < bytes; at += 4096) block[at] = 1;
    const long faults = minorFaults() - before;
    std::free(const_cast<unsigned char*>(block));
    return faults;
}

// Where the system backs all anonymous memory with huge pages anyway, fresh memory costs few faults too.
bool hugePagesAlways() {
    std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    std::getline(in, line);
    return line.find("[always]") != std::string::npos;
}

constexpr std::size_t kMiB = std::size_t{1} << 20;

}  // namespace

// A block written and freed leaves its pages with the heap for the next one; a warmed heap has them
// before any block. Without either, a block of the same size is thousands of fresh pages.
TEST(Heap, KeptAndWarmedMemoryServesTheNextBlockWithoutPageFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* name;
        bool keep;
        std::size_t warm;     // warmHeap first
        std::size_t before;   // a block written and freed first
        bool fewFaults;       // the 12 MiB block after them
    };
    const Case cases[] = {
        {"kept", true, 0, 12 * kMiB, true},
        {"warmed", true, 16 * kMiB, 0, true},
        {"neither", true, 0, 0, false},
        {"freed without the settings", false, 0, 12 * kMiB, false},
    };
    for (const Case& c : cases) {
        if (!c.fewFaults && hugePagesAlways()) continue;  // nothing to tell apart there
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                if (c.keep) dispatch::keepFreedMemory();
                dispatch::warmHeap(c.warm);
                if (c.before) faultsWriting(c.before);
                const long faults = faultsWriting(12 * kMiB);
                std::fprintf(stderr, "%s: %ld faults\n", c.name, faults);
                // 3072 pages: a fresh block faults for most of them, a kept one for none but a few stray.
                std::exit(!kLibraryHeap || c.fewFaults == (faults < 64) ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }
}

// Started with a warmth, every loop thread warms its own heap in the background: once that has settled,
// a loop whose every iteration writes a fresh block takes next to no page faults; started without, the
// same loop takes thousands.
TEST(Heap, StartedLoopThreadsWarmTheirOwnHeaps) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (std::size_t warmth : {std::size_t{0}, dispatch::kLoopThreadWarmth}) {
        if (warmth == 0 && hugePagesAlways()) continue;
        SCOPED_TRACE(warmth);
        EXPECT_EXIT(
            {
                dispatch::keepFreedMemory();
                dispatch::warmHeap(warmth);  // the caller's own heap, which no loop thread warms
                dispatch::startThreads(warmth);
                // Settled: no new fault for half a second (generous: a loaded machine starts threads slowly).
                long last = minorFaults();
                for (int quiet = 0, i = 0; quiet < 5 && i < 400; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    const long now = minorFaults();
                    quiet = now - last < 8 ? quiet + 1 : 0;
                    last = now;
                }
                std::atomic<long> faults{0};
                const int lanes = dispatch::threadCount();
                const long before = minorFaults();
                dispatch::concurrentPerform(static_cast<std::size_t>(lanes) * 4, [](std::size_t) {
                    auto* block = static_cast<volatile unsigned char*>(std::malloc(8 * kMiB));
                    if (!block) std::exit(3);
                    for (std::size_t at = 0; at < 8 * kMiB; at += 4096) block[at] = 1;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // let every thread take some
                    std::free(const_cast<unsigned char*>(block));
                });
                faults = minorFaults() - before;
                std::fprintf(stderr, "warmth %zu: %ld faults over %d lanes\n", warmth, faults.load(), lanes);
                const bool few = faults.load() < 64L * lanes;
                std::exit(!kLibraryHeap || few == (warmth > 0) ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }
}
