#pragma once
// A source's change watch over GIO: file monitors on key files and directories, and the gvfs metadata
// daemon's AttributeChanged signal on the session bus (metadata writes touch no file). Callbacks come on
// the main context that was the creating thread's default.

#include <functional>
#include <memory>
#include <string>

#include "Finder/SourceWatch.h"

class GioWatch : public SourceWatch {
public:
    explicit GioWatch(std::function<void()> changed);
    ~GioWatch() override;

    // A file that may not exist yet; creating, replacing and deleting it count as changes.
    bool file(const std::string& path);
    // Any entry of a directory coming, going or changing.
    bool directory(const std::string& path);
    // Any metadata change announced by the gvfs metadata daemon.
    bool metadata();

    struct State;  // shared with the GLib callbacks, which may outlive a notice already queued

private:
    std::shared_ptr<State> state_;
};
