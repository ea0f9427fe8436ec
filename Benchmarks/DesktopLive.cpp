// The live desktop, measured: the archipelago by day of the self-test's sample desktop (its icons, at
// the screen's size) shown by DesktopWindow through the X11 shell. It runs animated for a while, then
// paused, and reports our process's CPU time and the X server's as % of one core, where our time goes,
// and how often the main thread wakes while paused (the goal is never).
// Run: xvfb-run -a -s "-screen 0 2560x1440x24" build/release/Benchmarks/DesktopLive [seconds] [kind ...]
// With kinds, only the sprites of those kinds are shown (to see what each kind costs).

#include "Pipeline/Render.h"
#include "Platform/Desktop/DesktopShell.h"
#include "Platform/Desktop/MainLoop.h"
#include "SelfTest/SelfTest.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double wallSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The X server of our display (an Xvfb whose arguments name DISPLAY), or 0.
pid_t xServer() {
    const char* display = std::getenv("DISPLAY");
    if (!display) return 0;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    pid_t found = 0;
    while (dirent* e = readdir(proc)) {
        const pid_t pid = pid_t(std::atoi(e->d_name));
        if (pid <= 0) continue;
        std::ifstream in("/proc/" + std::string(e->d_name) + "/cmdline");
        std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> args;
        std::stringstream ss(cmd);
        for (std::string a; std::getline(ss, a, '\0');) args.push_back(a);
        if (args.empty() || (args[0].find("Xvfb") == std::string::npos && args[0].find("Xorg") == std::string::npos))
            continue;
        for (const std::string& a : args)
            if (a == display) found = pid;
    }
    closedir(proc);
    return found;
}

// User + system CPU seconds of a process, from /proc.
double processSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::stringstream ss(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && ss >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// Context switches of the main thread: each one is a wakeup after a sleep, or a preemption.
unsigned long long mainThreadSwitches() {
    std::ifstream in("/proc/self/task/" + std::to_string(getpid()) + "/status");
    unsigned long long total = 0;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            total += std::stoull(line.substr(line.find(':') + 1));
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    std::vector<std::string> kinds(argv + std::min(argc, 2), argv + argc);
    if (!mainloop::init()) {
        std::fprintf(stderr, "DesktopLive: no X11 display (run it under xvfb-run)\n");
        return 1;
    }
    DesktopShell shell;
    if (shell.screens() == 0) {
        std::fprintf(stderr, "DesktopLive: no monitor\n");
        return 1;
    }
    const DesktopSurface::Geometry g = shell.surface(0)->geometry();
    SceneSpec spec = SelfTest::sampleDesktop(SceneKind::archipelago, false);
    spec.size = {double(g.width), double(g.height)};
    spec.scale = g.scale;
    const double renderStart = wallSeconds();
    auto scene = Renderer::render(spec, {});
    if (!scene) {
        std::fprintf(stderr, "DesktopLive: the render failed\n");
        return 1;
    }
    if (!kinds.empty())
        std::erase_if(scene->sprites, [&](const Sprite& s) {
            return std::find(kinds.begin(), kinds.end(), std::string(Sprite::kindName(s.kind))) == kinds.end();
        });
    std::printf("scene: archipelago day, %d x %d points at scale %d, %zu sprites (rendered in %.2f s)\n", g.width,
                g.height, g.scale, scene->sprites.size(), wallSeconds() - renderStart);
    const pid_t server = xServer();

    shell.show(0, *scene, 0.7);
    mainloop::runFor(2);  // fade-in and first frames

    const FrameCompositor& comp = shell.surface(0)->compositor();
    auto measure = [&](const char* name, double span) {
        const auto stats0 = comp.stats();
        const double cpu0 = cpuSeconds(), x0 = server ? processSeconds(server) : 0, wall0 = wallSeconds();
        const auto switches0 = mainThreadSwitches();
        const auto wakeups0 = shell.surface(0)->wakeups();
        mainloop::runFor(span);
        const double wall = wallSeconds() - wall0;
        const auto& stats = comp.stats();
        const double frames = double(stats.frames - stats0.frames);
        std::printf("%s, %.1f s:\n", name, wall);
        std::printf("  our process: %.2f %% of a core; X server: %s%.2f %%\n", 100 * (cpuSeconds() - cpu0) / wall,
                    server ? "" : "(not found) ", server ? 100 * (processSeconds(server) - x0) / wall : 0.0);
        std::printf("  frames: %.1f per second; frame updates (presentation, damage, compositing): %.2f %% of a core, "
                    "%.2f ms per frame, %.0f device pixels recomposited per frame\n",
                    frames / wall, 100 * (stats.seconds - stats0.seconds) / wall,
                    frames > 0 ? 1000 * (stats.seconds - stats0.seconds) / frames : 0.0,
                    frames > 0 ? double(stats.pixels - stats0.pixels) / frames : 0.0);
        std::printf("  of which presentation and damage: %.2f %% of a core\n",
                    100 * (stats.treeSeconds - stats0.treeSeconds) / wall);
        std::printf("  main thread: %.2f wakeups per second (context switches), %.2f frame timer wakeups per second\n",
                    double(mainThreadSwitches() - switches0) / wall,
                    double(shell.surface(0)->wakeups() - wakeups0) / wall);
    };
    measure("animating", seconds);
    shell.setAnimating(false);
    mainloop::runFor(1);
    measure("paused", seconds / 2);
    return 0;
}
