#include "Finder/FakeIconSource.h"

#include <algorithm>

class FakeIconSource::Watch : public SourceWatch {
public:
    Watch(std::shared_ptr<std::vector<std::function<void()>*>> list, std::function<void()> changed)
        : list_(std::move(list)), changed_(std::move(changed)) {
        list_->push_back(&changed_);
    }
    ~Watch() override { list_->erase(std::remove(list_->begin(), list_->end(), &changed_), list_->end()); }

private:
    std::shared_ptr<std::vector<std::function<void()>*>> list_;
    std::function<void()> changed_;
};

FakeIconSource::FakeIconSource(FinderResult answer, PrefValue drawsDesktop)
    : layout_(std::move(answer)), drawsDesktop_(std::move(drawsDesktop)) {}

FinderResult FakeIconSource::layout() {
    std::unique_lock lock(mutex_);
    ++reads_;
    released_.wait(lock, [&] { return !held_; });
    return layout_;
}

PrefValue FakeIconSource::drawsDesktop() {
    std::lock_guard lock(mutex_);
    return drawsDesktop_;
}

std::unique_ptr<SourceWatch> FakeIconSource::watch(std::function<void()> changed) {
    return std::make_unique<Watch>(watchers_, std::move(changed));
}

void FakeIconSource::set(FinderResult answer, PrefValue drawsDesktop) {
    std::lock_guard lock(mutex_);
    layout_ = std::move(answer);
    drawsDesktop_ = std::move(drawsDesktop);
}

void FakeIconSource::hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void FakeIconSource::release() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
    }
    released_.notify_all();
}

void FakeIconSource::change() {
    const auto list = *watchers_;
    for (auto* f : list) (*f)();
}
