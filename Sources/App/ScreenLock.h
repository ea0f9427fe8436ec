#pragma once
// Whether the session's screen is locked or its screen saver is up, from the screen savers' ActiveChanged
// signals on the session bus (the freedesktop interface and the desktops' own). Without a bus the screen
// never reads as locked. Main thread only.

#include <functional>
#include <map>
#include <string>
#include <vector>

struct _GDBusConnection;
struct _GCancellable;

class ScreenLock {
public:
    // `changed` runs with the new state whenever it changes.
    explicit ScreenLock(std::function<void(bool)> changed);
    ~ScreenLock();
    ScreenLock(const ScreenLock&) = delete;
    ScreenLock& operator=(const ScreenLock&) = delete;

    // Locked while any screen saver says it is active.
    bool locked() const;

private:
    void set(const std::string& saver, bool active);

    std::function<void(bool)> changed_;
    _GDBusConnection* bus_ = nullptr;
    _GCancellable* cancel_ = nullptr;
    std::vector<unsigned> subscriptions_;
    std::map<std::string, bool> active_;
};
