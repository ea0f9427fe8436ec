#pragma once
// Where the Desktop icon layout comes from: one icon manager's stored positions and settings.
// layout() and drawsDesktop() may block on files or the session bus, so the reader calls them on a worker
// thread; they keep no state between calls and may run while a watch is live.

#include <functional>
#include <memory>
#include <string>

#include "Finder/PrefValue.h"
#include "Finder/FinderResult.h"
#include "Finder/SourceWatch.h"

class IconLayoutSource {
public:
    IconLayoutSource() = default;
    IconLayoutSource(const IconLayoutSource&) = delete;
    IconLayoutSource& operator=(const IconLayoutSource&) = delete;
    virtual ~IconLayoutSource() = default;

    // A short name for messages, such as "gvfs metadata (Nemo)".
    virtual std::string name() const = 0;
    // The layout as the manager stores it: the icon centres (points, global, top-left origin, y down) with
    // finite coordinates, in any order; the sizes it gives, checked by the reader (sizes it leaves out keep
    // DeskLayout's defaults); the label side. Or an error naming this source.
    virtual FinderResult layout() = 0;
    // The manager's own switch for drawing Desktop icons; no value where it has none.
    virtual PrefValue drawsDesktop() = 0;
    // Calls `changed` from the main context that is the caller's thread default whenever the layout may
    // have changed, until the handle is dropped. No value when the source cannot watch.
    virtual std::unique_ptr<SourceWatch> watch(std::function<void()> changed) = 0;
};
