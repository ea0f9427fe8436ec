#pragma once
// A layout source for tests: answers with what it is given, can be held until released, counts its reads
// and lets a test announce changes.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Finder/IconLayoutSource.h"

class FakeIconSource : public IconLayoutSource {
public:
    FakeIconSource(FinderResult answer, PrefValue drawsDesktop = {});

    std::string name() const override { return "fake"; }
    FinderResult layout() override;
    PrefValue drawsDesktop() override;
    std::unique_ptr<SourceWatch> watch(std::function<void()> changed) override;

    void set(FinderResult answer, PrefValue drawsDesktop = {});
    // While held, layout() waits until release().
    void hold();
    void release();
    int reads() const { return reads_; }
    // Calls every live watch's callback on the calling thread.
    void change();

private:
    class Watch;

    std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    FinderResult layout_;
    PrefValue drawsDesktop_;
    std::atomic<int> reads_{0};
    std::shared_ptr<std::vector<std::function<void()>*>> watchers_ =
        std::make_shared<std::vector<std::function<void()>*>>();
};
