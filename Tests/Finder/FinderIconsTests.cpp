#include "Finder/FakeIconSource.h"
#include "Finder/FinderIcons.h"

#include <chrono>
#include <glib.h>
#include <gtest/gtest.h>
#include <optional>

using namespace std::chrono_literals;

namespace {

DeskLayout goodReply() { return DeskLayout{{{300, 40}, {60, 40}}, 48, 12, true}; }

// A main context of the test's own, the thread default while it lives.
struct MainContext {
    GMainContext* context = g_main_context_new();
    MainContext() { g_main_context_push_thread_default(context); }
    ~MainContext() {
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }
    // Runs the context until `done` holds or the time is up.
    template <class F>
    bool runUntil(F done, std::chrono::milliseconds limit = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) g_main_context_iteration(context, FALSE), g_usleep(1000);
        return done();
    }
};

}  // namespace

TEST(FinderIconsRead, AHangingSourceTimesOutAndHoldsOneWorker) {
    auto source = std::make_shared<FakeIconSource>(goodReply());
    source->hold();
    FinderIcons icons(source, 100ms);
    const auto start = std::chrono::steady_clock::now();
    const FinderResult first = icons.read();
    const FinderResult second = icons.read();
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(first.ok());
    EXPECT_EQ(first.error(), (FinderError{"fake", -1, ""}));  // names the source that did not answer
    EXPECT_FALSE(second.ok());
    EXPECT_LT(took, 1500ms);
    EXPECT_EQ(source->reads(), 1);  // the second read waited on the first one's worker

    source->release();
    std::optional<FinderResult> later;
    for (int i = 0; i < 200 && !(later && later->ok()); ++i) later = icons.read();
    ASSERT_TRUE(later && later->ok());
    EXPECT_EQ(later->layout().centers.size(), 2u);
}

TEST(FinderIconsRead, AsyncReadAnswersOnTheCallersMainContext) {
    MainContext main;
    auto source = std::make_shared<FakeIconSource>(goodReply());
    FinderIcons icons(source);
    std::optional<FinderResult> got;
    GThread* answeredOn = nullptr;
    icons.read([&](const FinderResult& r) {
        got = r;
        answeredOn = g_thread_self();
    });
    ASSERT_TRUE(main.runUntil([&] { return got.has_value(); }));
    EXPECT_EQ(answeredOn, g_thread_self());
    // Checked: sorted by x, the sizes and label side kept.
    EXPECT_EQ(*got, FinderResult(DeskLayout{{{60, 40}, {300, 40}}, 48, 12, true}));
}

TEST(FinderIconsRead, AsyncReadOfAHangingSourceAnswersOnceWithTheTimeout) {
    MainContext main;
    auto source = std::make_shared<FakeIconSource>(goodReply());
    source->hold();
    FinderIcons icons(source, 50ms);
    int answers = 0;
    std::optional<FinderResult> got;
    icons.read([&](const FinderResult& r) {
        ++answers;
        got = r;
    });
    ASSERT_TRUE(main.runUntil([&] { return answers > 0; }));
    ASSERT_FALSE(got->ok());
    EXPECT_EQ(got->error(), (FinderError{"fake", -1, ""}));
    source->release();
    // The late answer must not reach the caller a second time.
    main.runUntil([] { return false; }, 200ms);
    EXPECT_EQ(answers, 1);
}
