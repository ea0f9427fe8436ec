#pragma once
// Small pictures of every scene for the status menu and the settings window, with sample desktop items.
// Made once per time of day for the life of the process, on a background worker; when a set is done the
// ready handlers run. Used on the main thread only.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "App/MainQueue.h"
#include "App/RenderFunction.h"
#include "App/Workers.h"
#include "Platform/Graphics/Image.h"

class Thumbnails {
public:
    // Puts the sample items over a rendered picture; `SelfTest::withIcons` in the program.
    using Compose = std::function<cg::ImageRef(const cg::ImageRef&, const SceneSpec&, const std::vector<Sprite>&)>;

    // The size, in points, at which the menu and the settings window show a thumbnail.
    static constexpr cg::Size displaySize{96, 60};

    Thumbnails(std::shared_ptr<MainQueue> main, std::shared_ptr<Workers> workers, RenderFunction render,
               Compose compose);
    ~Thumbnails();
    Thumbnails(const Thumbnails&) = delete;
    Thumbnails& operator=(const Thumbnails&) = delete;

    // Starts making the set for this time of day unless it is made or on its way. Returns at once.
    void ensure(bool night);
    // The thumbnail, or none while its set is being made or when its scene rendered nothing.
    cg::ImageRef thumb(SceneKind kind, bool night) const;
    // Whether the set of this time of day has been started.
    bool started(bool night) const;

    // Runs on the main thread each time a set is done.
    int onReady(std::function<void()> handler);
    void removeHandler(int id);

    // The scene's name, a space, and "true" by night or "false" by day.
    static std::string key(SceneKind kind, bool night);
    // The request of one thumbnail: 640 × 400 points at half scale, with four sample icons.
    static SceneSpec spec(SceneKind kind, bool night);

    struct State;

private:
    std::shared_ptr<MainQueue> main_;
    std::shared_ptr<Workers> workers_;
    RenderFunction render_;
    Compose compose_;
    std::shared_ptr<State> state_;
};
