#pragma once
// Helper programs for the X tests: a child process stopped with the test, and a wait for openbox to
// manage windows.

#include "Platform/Desktop/MainLoop.h"
#include "Platform/Desktop/X11Session.h"

#include <algorithm>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace desktoptest {

inline long indexOf(const std::vector<X11Session::Window>& v, X11Session::Window w) {
    auto it = std::find(v.begin(), v.end(), w);
    return it == v.end() ? -1 : long(it - v.begin());
}

// A program we start for one test and stop by its process id.
struct Child {
    pid_t pid = -1;
    explicit Child(std::vector<const char*> argv) {
        argv.push_back(nullptr);
        if (posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv.data()), environ) != 0) pid = -1;
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
};

// Openbox announces itself before it manages new windows: wait until a probe window is managed.
inline bool windowManagerReady(const X11Session& x) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (!x.hasWindowManager()) {
            mainloop::runFor(0.2);
            continue;
        }
        const auto probe = x.createWindow("probe", "_NET_WM_WINDOW_TYPE_NORMAL", 0, 0, 10, 10);
        const bool managed = mainloop::runUntil([&] { return indexOf(x.stacking(), probe) >= 0; }, 1);
        x.destroyWindow(probe);
        if (managed) return mainloop::runUntil([&] { return indexOf(x.stacking(), probe) < 0; }, 2);
    }
    return false;
}

}  // namespace desktoptest
