// The live desktop, measured: the archipelago by day of the self-test's sample desktop (its icons, at
// the screen's size) shown by DesktopWindow through the X11 shell. It runs animated for a while, then
// paused, and reports our process's CPU time and the X server's as % of one core, where our time goes,
// our threads apart from the GL driver's, and how often the main thread wakes while paused (the goal
// is never). VM_COMPOSITOR=gl|cairo picks the back end.
// Run: xvfb-run -a -s "-screen 0 2560x1440x24" build/release/Benchmarks/DesktopLive [seconds] [kind ...]
// With kinds, only the sprites of those kinds are shown (to see what each kind costs).
// DesktopLive --compare [seconds] runs itself three times: GL on Mesa's no-op driver (GALLIUM_NOOP=1:
// what the CPU pays when a GPU draws), GL on the software renderer, and Cairo.

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
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
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

// User + system CPU seconds of each of our threads, with its name.
struct ThreadTime {
    std::string name;
    double seconds = 0;
};
std::map<int, ThreadTime> threadTimes() {
    std::map<int, ThreadTime> out;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return out;
    while (dirent* e = readdir(dir)) {
        const int tid = std::atoi(e->d_name);
        if (tid <= 0) continue;
        const std::string base = "/proc/self/task/" + std::string(e->d_name);
        std::ifstream in(base + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::stringstream ss(stat.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && ss >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        std::ifstream comm(base + "/comm");
        std::string name;
        std::getline(comm, name);
        out[tid] = {name, double(utime + stime) / double(sysconf(_SC_CLK_TCK))};
    }
    closedir(dir);
    return out;
}

// Threads the GL driver starts (Mesa's rasteriser and compiler threads, a GPU driver's helpers).
// Mesa names its threads after the process, truncated: "DesktopLive:gdrv0", "Deskt:disk$0".
bool driverThread(const std::string& name) {
    for (const char* p : {"llvmpipe", "gallium", "gdrv", "disk$", "glthread", "shdr", "radeonsi", "iris", "nouveau",
                          "lp_", "threaded"})
        if (name.find(p) != std::string::npos) return true;
    return false;
}

// Runs this program again with each back end and prints what each costs.
int compare(const char* self, const std::string& seconds) {
    struct Run {
        const char* title;
        const char* compositor;
        bool noop;
    };
    for (const Run& r : {Run{"GL, Mesa's no-op driver (GALLIUM_NOOP=1)", "gl", true},
                         Run{"GL, Mesa's software renderer", "gl", false}, Run{"Cairo", "cairo", false}}) {
        std::printf("==== %s\n", r.title);
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("VM_COMPOSITOR", r.compositor, 1);
            if (r.noop) {
                setenv("GALLIUM_NOOP", "1", 1);
            } else {
                unsetenv("GALLIUM_NOOP");
            }
            execl(self, self, seconds.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    }
    return 0;
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
    if (argc > 1 && std::string(argv[1]) == "--compare") {
        // The program's own path, so that the runs' threads carry its name.
        char self[4096] = {};
        if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
        return compare(self, argc > 2 ? argv[2] : "20");
    }
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
        const auto threads0 = threadTimes();
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
        const double updates = double(stats.updates - stats0.updates);
        std::printf("  of which presentation and damage: %.2f %% of a core (%.0f %% of the updates replayed an "
                    "unchanged tree)\n",
                    100 * (stats.treeSeconds - stats0.treeSeconds) / wall,
                    updates > 0 ? 100 * double(stats.replays - stats0.replays) / updates : 0.0);
        double ours = 0, driver = 0;
        std::map<std::string, double> byName;
        for (const auto& [tid, now] : threadTimes()) {
            const auto before = threads0.find(tid);
            const double spent = now.seconds - (before != threads0.end() ? before->second.seconds : 0);
            (driverThread(now.name) ? driver : ours) += spent;
            byName[now.name] += spent;
        }
        std::printf("  our threads: %.2f %% of a core; GL driver threads: %.2f %%; GPU memory %.1f MB\n",
                    100 * ours / wall, 100 * driver / wall, double(stats.gpuBytes) / 1e6);
        std::printf("  threads:");
        for (const auto& [name, spent] : byName)
            if (spent > 0) std::printf(" %s %.2f %%;", name.c_str(), 100 * spent / wall);
        std::printf("\n");
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
