#include "App/Thumbnails.h"

#include <utility>

#include "SelfTest/SampleDesktop.h"

struct Thumbnails::State {
    std::map<std::string, cg::ImageRef> images;
    std::set<bool> started;  // times of day whose set is made or being made; never retried
    std::map<int, std::function<void()>> handlers;
    int nextId = 1;
};

Thumbnails::Thumbnails(std::shared_ptr<MainQueue> main, std::shared_ptr<Workers> workers, RenderFunction render,
                       Compose compose)
    : main_(std::move(main)),
      workers_(std::move(workers)),
      render_(std::move(render)),
      compose_(std::move(compose)),
      state_(std::make_shared<State>()) {}

Thumbnails::~Thumbnails() = default;

std::string Thumbnails::key(SceneKind kind, bool night) {
    return std::string(scene_kind::rawValue(kind)) + (night ? " true" : " false");
}

SceneSpec Thumbnails::spec(SceneKind kind, bool night) { return SelfTest::thumbnail(kind, night); }

void Thumbnails::ensure(bool night) {
    // Marked before the job starts, so two passes in quick succession start one job.
    if (!state_->started.insert(night).second) return;
    std::weak_ptr<State> weak = state_;
    auto main = main_;
    workers_->run([weak, main, night, render = render_, compose = compose_] {
        std::vector<std::pair<std::string, cg::ImageRef>> made;
        for (SceneKind kind : scene_kind::allCases) {
            SceneSpec s = spec(kind, night);
            std::optional<RenderedScene> scene;
            try {
                scene = render(s, {});
            } catch (const std::exception&) {
                scene.reset();  // one scene failing leaves that scene without a thumbnail, not the set
            }
            if (!scene || !scene->image) continue;
            cg::ImageRef picture = compose ? compose(scene->image, s, scene->sprites) : scene->image;
            if (picture) made.emplace_back(key(kind, night), std::move(picture));
        }
        main->post([weak, made = std::move(made)] {
            auto state = weak.lock();
            if (!state) return;
            for (auto& [k, image] : made) state->images[k] = image;
            std::vector<std::function<void()>> calls;
            for (auto& [id, h] : state->handlers) calls.push_back(h);
            for (auto& call : calls) call();
        });
    });
}

cg::ImageRef Thumbnails::thumb(SceneKind kind, bool night) const {
    auto it = state_->images.find(key(kind, night));
    return it == state_->images.end() ? nullptr : it->second;
}

bool Thumbnails::started(bool night) const { return state_->started.count(night) > 0; }

int Thumbnails::onReady(std::function<void()> handler) {
    int id = state_->nextId++;
    state_->handlers.emplace(id, std::move(handler));
    return id;
}

void Thumbnails::removeHandler(int id) { state_->handlers.erase(id); }
