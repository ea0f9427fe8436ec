#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "App/AppTestSupport.h"
#include "App/GlibMainQueue.h"
#include "App/RenderPasses.h"
#include "App/WorkerPool.h"

namespace {

TEST(WorkerPool, OneThreadRunsJobsInOrderAndSurvivesAFailingOne) {
    std::vector<int> order;
    std::mutex m;
    testing::internal::CaptureStderr();
    {
        WorkerPool serial(1, "folder");
        for (int i = 0; i < 20; ++i)
            serial.run([&, i] {
                if (i == 7) throw std::runtime_error("disk gone");
                std::lock_guard lock(m);
                order.push_back(i);
            });
    }  // waits for the queued jobs
    std::string err = testing::internal::GetCapturedStderr();
    std::vector<int> expected;
    for (int i = 0; i < 20; ++i)
        if (i != 7) expected.push_back(i);
    EXPECT_EQ(order, expected);
    EXPECT_NE(err.find("folder job failed: disk gone"), std::string::npos) << err;
}

TEST(GlibMainQueue, PostedWorkRunsLaterOnTheMainContextInOrder) {
    GlibMainQueue main;
    std::vector<int> order;
    main.post([&] { order.push_back(1); });
    EXPECT_TRUE(order.empty()) << "never inline, even from the main thread";
    std::thread([&] { main.post([&] { order.push_back(2); }); }).join();
    ASSERT_TRUE(runUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(GlibMainQueue, TimersFireInTheOrderTheyFallDueAndCancelledOnesNever) {
    GlibMainQueue main;
    std::vector<int> fired;
    main.after(0.03, [&] { fired.push_back(3); });
    const Timers::Id cancelled = main.after(0.01, [&] { fired.push_back(0); });
    Timers::Id inner = 0;
    main.after(0.02, [&] {
        fired.push_back(2);
        main.cancel(inner);  // a timer may cancel another from inside its own work
    });
    main.after(0.005, [&] { fired.push_back(1); });
    inner = main.after(0.04, [&] { fired.push_back(4); });
    main.cancel(cancelled);
    main.cancel(cancelled);  // twice is harmless
    EXPECT_TRUE(fired.empty());
    ASSERT_TRUE(runUntil([&] { return fired.size() == 3; }));
    settle(0.1);
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 3}));
}

// A loop held up past several deadlines still runs the overdue timers in the order they fell due, not
// the order they were made.
TEST(GlibMainQueue, OverdueTimersRunInTheOrderTheyFellDue) {
    GlibMainQueue main;
    std::vector<int> fired;
    main.after(0.03, [&] { fired.push_back(3); });
    main.after(0.01, [&] { fired.push_back(1); });
    main.after(0.02, [&] { fired.push_back(2); });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_TRUE(runUntil([&] { return fired.size() == 3; }));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 3}));
}

// Overdue work run ahead of the timer GLib fired may destroy the queue; the rest then never runs.
TEST(GlibMainQueue, OverdueWorkMayDestroyTheQueue) {
    auto main = std::make_unique<GlibMainQueue>();
    std::vector<int> fired;
    main->after(0.02, [&] { fired.push_back(2); });
    main->after(0.01, [&] {
        fired.push_back(1);
        main.reset();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    ASSERT_TRUE(runUntil([&] { return main == nullptr; }));
    for (int i = 0; i < 5; ++i) g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(fired, (std::vector<int>{1}));
}

// The program's own renderer and compositor make the thumbnails at half scale.
TEST(Thumbnails, RealThumbnailsAreHalfScalePictures) {
    auto main = std::make_shared<GlibMainQueue>();
    auto pool = std::make_shared<WorkerPool>(1, "thumbnail");
    RenderPasses passes({main, pool, pool, {}, {}});
    bool ready = false;
    passes.thumbnails().onReady([&] { ready = true; });
    passes.renderAll({});
    ASSERT_TRUE(runUntil([&] { return ready; }, 120));
    for (SceneKind kind : scene_kind::allCases) {
        cg::ImageRef image = passes.thumbnails().thumb(kind, false);
        ASSERT_NE(image, nullptr) << scene_kind::rawValue(kind);
        EXPECT_EQ(image->pixelWidth(), 320);
        EXPECT_EQ(image->pixelHeight(), 200);
    }
    EXPECT_EQ(passes.thumbnails().thumb(SceneKind::sea, true), nullptr);
}

}  // namespace
