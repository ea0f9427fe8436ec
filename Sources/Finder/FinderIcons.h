#pragma once
// The Desktop icon layout reader: asks the session's icon layout source for the layout it stores, checks
// it and decides from the manager's own switch whether positions count at all.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "Finder/FinderResult.h"
#include "Finder/IconLayoutSource.h"
#include "Finder/PrefValue.h"

class FinderIcons {
public:
    // No read keeps its caller waiting longer than this.
    static constexpr std::chrono::milliseconds timeLimit{2000};

    explicit FinderIcons(std::shared_ptr<IconLayoutSource> source,
                         std::chrono::milliseconds limit = timeLimit);
    FinderIcons(const FinderIcons&) = delete;
    FinderIcons& operator=(const FinderIcons&) = delete;

    // Reads on a worker thread and waits for it at most the time limit; a source that does not answer in
    // time gives the error with code -1. Reads asked for while one is under way share its answer, so a
    // stuck source holds one thread, not one per read.
    FinderResult read();
    // The same read without waiting: `done` runs once, on the main context that is the calling thread's
    // default, with the result or with the time-out error after the time limit.
    void read(std::function<void(const FinderResult&)> done);

    // Whether the manager draws Desktop icons, from its switch as read from its settings: no value means
    // yes; texts "false", "no" and "0" in any letter case mean no; a Boolean, or the numbers 0 and 1,
    // say it directly; anything else means yes.
    static bool drawsDesktop(const PrefValue& value);
    // The layout a source stored, checked, with its switch applied: centres sorted by x then y, any with a
    // coordinate that is not finite dropped, and all of them when the manager draws no icons; a size
    // outside DeskLayout's range (or not finite) replaced by the default. A source's error passes through.
    static FinderResult layout(const FinderResult& stored, const PrefValue& drawsDesktopValue);

    IconLayoutSource& source() const { return *source_; }

private:
    struct Flight;
    std::shared_ptr<Flight> start();

    std::shared_ptr<IconLayoutSource> source_;
    std::chrono::milliseconds limit_;
    std::mutex mutex_;
    std::shared_ptr<Flight> flight_;
};
