#include "App/Defaults.h"

#include "App/GlibMainQueue.h"
#include "App/WorkerPool.h"

#include <gio/gio.h>

#include <array>
#include <cstdio>
#include <map>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr std::array<Defaults::Key, Defaults::keyCount> allKeys = {
    Defaults::Key::scene, Defaults::Key::daily, Defaults::Key::lighting, Defaults::Key::folders,
    Defaults::Key::welcomed};

void say(const std::string& line) { std::fprintf(stderr, "vistamere: %s\n", line.c_str()); }

bool differs(const Defaults::Values& a, const Defaults::Values& b, Defaults::Key key) {
    switch (key) {
        case Defaults::Key::scene: return a.scene != b.scene;
        case Defaults::Key::daily: return a.daily != b.daily;
        case Defaults::Key::lighting: return a.lighting != b.lighting;
        case Defaults::Key::folders: return a.folders != b.folders;
        case Defaults::Key::welcomed: return a.welcomed != b.welcomed;
    }
    return false;
}

// Reads what can be read; a value of the wrong type keeps its default and is named in `bad`.
Defaults::Values read(const nlohmann::json& doc, std::string& bad) {
    Defaults::Values v;
    auto note = [&](Defaults::Key key) { bad += (bad.empty() ? "" : ", ") + std::string(Defaults::name(key)); };
    auto get = [&](Defaults::Key key) -> const nlohmann::json* {
        auto it = doc.find(Defaults::name(key));
        return it == doc.end() ? nullptr : &*it;
    };
    if (auto* j = get(Defaults::Key::scene)) {
        if (j->is_string()) v.scene = j->get<std::string>();
        else note(Defaults::Key::scene);
    }
    for (auto key : {Defaults::Key::daily, Defaults::Key::welcomed}) {
        auto* j = get(key);
        if (!j) continue;
        if (!j->is_boolean()) {
            note(key);
            continue;
        }
        (key == Defaults::Key::daily ? v.daily : v.welcomed) = j->get<bool>();
    }
    for (auto key : {Defaults::Key::lighting, Defaults::Key::folders}) {
        auto* j = get(key);
        if (!j) continue;
        // Unsigned values past the signed range are unreadable too, not wrapped.
        if (!j->is_number_integer() || (j->is_number_unsigned() && j->get<uint64_t>() > INT64_MAX)) {
            note(key);
            continue;
        }
        (key == Defaults::Key::lighting ? v.lighting : v.folders) = j->get<int64_t>();
    }
    return v;
}

}  // namespace

struct Defaults::State {
    std::string directory, path;
    Values values;
    nlohmann::json doc = nlohmann::json::object();  // the file as last read or written: unknown keys survive
    bool fileUnreadable = false;                     // the file on disk could not be parsed at all
    std::string lastComplaint;
    std::map<int, std::pair<Key, Handler>> handlers;
    int nextId = 1;
    bool alive = true;
    GFileMonitor* monitor = nullptr;
    std::shared_ptr<GlibMainQueue> main;
    int outstanding = 0;  // writes queued and not yet reported back
    uint64_t writes = 0;  // counts writes queued: a reload that began before one is stale
    bool reloading = false, reloadAgain = false;
    bool reloadAfterWrites = false;  // a notice came while our writes ran: it may have been an outside edit

    void complain(const std::string& line) {
        if (line == lastComplaint) return;  // once, not on every change notice
        lastComplaint = line;
        say(line);
    }

    // Parses one snapshot of the file. No text means no file: every value reads as its default.
    void absorb(const std::optional<std::string>& text) {
        Values next;
        if (text) {
            nlohmann::json j = nlohmann::json::parse(*text, nullptr, false);
            if (j.is_discarded() || !j.is_object()) {
                // A half-saved or broken file: keep every value we have rather than fall back to defaults.
                fileUnreadable = true;
                complain("cannot read the preferences in " + path + "; keeping the values in use");
                return;
            }
            fileUnreadable = false;
            doc = std::move(j);
            std::string bad;
            next = read(doc, bad);
            if (!bad.empty()) complain("unreadable preference values in " + path + " (" + bad + "); using their defaults");
            else lastComplaint.clear();
        } else {
            fileUnreadable = false;
            doc = nlohmann::json::object();
            lastComplaint.clear();
        }
        change(next);
    }

    void change(const Values& next) {
        Values old = std::exchange(values, next);
        for (Key key : allKeys) {
            if (!differs(old, values, key)) continue;
            // Copy first: a handler may add or remove handlers.
            std::vector<Handler> calls;
            for (auto& [id, h] : handlers)
                if (h.first == key) calls.push_back(h.second);
            for (auto& call : calls) call();
        }
    }
};

namespace {

using Hold = std::shared_ptr<Defaults::State>;

struct Reload {
    Hold state;
    uint64_t writes;
};

void startReload(const Hold& s);

void loaded(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Reload> r(static_cast<Reload*>(data));
    Defaults::State& s = *r->state;
    s.reloading = false;
    char* bytes = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    bool ok = g_file_load_contents_finish(G_FILE(source), result, &bytes, &length, nullptr, &error);
    std::optional<std::string> text;
    bool missing = !ok && error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND);
    if (ok) text = std::string(bytes, length);
    g_free(bytes);
    std::string why = error ? error->message : "";
    g_clear_error(&error);
    // Our own write in flight or started since: the file will hold our newer values.
    bool stale = s.outstanding > 0 || s.writes != r->writes;
    if (stale) s.reloadAfterWrites = true;
    if (s.alive && !stale) {
        if (ok || missing) s.absorb(text);
        else s.complain("cannot read " + s.path + ": " + why + "; keeping the values in use");
    }
    if (s.alive && std::exchange(s.reloadAgain, false)) startReload(r->state);
}

void startReload(const Hold& s) {
    if (s->reloading) {
        s->reloadAgain = true;
        return;
    }
    s->reloading = true;
    GFile* file = g_file_new_for_path(s->path.c_str());
    g_file_load_contents_async(file, nullptr, loaded, new Reload{s, s->writes});
    g_object_unref(file);
}

void onMonitor(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer data) {
    if (event == G_FILE_MONITOR_EVENT_PRE_UNMOUNT || event == G_FILE_MONITOR_EVENT_UNMOUNTED ||
        event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED)
        return;
    Hold& s = *static_cast<Hold*>(data);
    if (s->alive) startReload(s);
}

}  // namespace

const char* Defaults::name(Key key) {
    switch (key) {
        case Key::scene: return "scene";
        case Key::daily: return "daily";
        case Key::lighting: return "lighting";
        case Key::folders: return "folders";
        case Key::welcomed: return "welcomed";
    }
    return "";
}

std::string Defaults::standardDirectory() {
    gchar* dir = g_build_filename(g_get_user_config_dir(), "vistamere", nullptr);
    std::string out(dir);
    g_free(dir);
    return out;
}

Defaults::Defaults(std::string directory)
    : state_(std::make_shared<State>()), writer_(std::make_unique<WorkerPool>(1, "preferences")) {
    state_->main = std::make_shared<GlibMainQueue>();
    state_->directory = std::move(directory);
    gchar* path = g_build_filename(state_->directory.c_str(), "defaults.json", nullptr);
    state_->path = path;
    g_free(path);
    // The first read happens once at start-up, before anything is shown: the first render needs the values.
    gchar* bytes = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    if (g_file_get_contents(state_->path.c_str(), &bytes, &length, &error)) {
        state_->absorb(std::string(bytes, length));
        g_free(bytes);
    } else {
        if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT))
            state_->complain("cannot read " + state_->path + ": " + error->message + "; using the defaults");
        g_clear_error(&error);
    }
    GFile* file = g_file_new_for_path(state_->path.c_str());
    state_->monitor = g_file_monitor_file(file, G_FILE_MONITOR_NONE, nullptr, &error);
    g_object_unref(file);
    if (state_->monitor) {
        g_signal_connect_data(state_->monitor, "changed", G_CALLBACK(onMonitor), new Hold(state_),
                              [](gpointer p, GClosure*) { delete static_cast<Hold*>(p); }, GConnectFlags(0));
    } else {
        state_->complain(std::string("cannot watch the preferences for outside edits: ") +
                         (error ? error->message : "unknown error"));
        g_clear_error(&error);
    }
}

Defaults::~Defaults() {
    state_->alive = false;
    state_->handlers.clear();
    if (state_->monitor) {
        g_file_monitor_cancel(state_->monitor);
        g_object_unref(state_->monitor);  // drops the signal's hold on the state
        state_->monitor = nullptr;
    }
    // Waits for the writes still queued: a value set just before quitting reaches the disk.
    writer_.reset();
}

void Defaults::write(std::string text, bool keepAside) {
    State& s = *state_;
    ++s.outstanding;
    ++s.writes;
    std::weak_ptr<State> weak = state_;
    writer_->run([weak, main = s.main, dir = s.directory, path = s.path, text = std::move(text), keepAside] {
        GError* error = nullptr;
        std::string why;
        if (keepAside) {
            std::string aside = path + ".bad";
            if (std::rename(path.c_str(), aside.c_str()) == 0)
                say("the unreadable preferences file was kept as " + aside);
        }
        g_mkdir_with_parents(dir.c_str(), 0700);
        // A temporary file beside the target renamed over it: a reader never sees half a file. The one
        // writer thread keeps the writes in order, so the newest values are the last on disk.
        if (!g_file_set_contents(path.c_str(), text.data(), static_cast<gssize>(text.size()), &error)) {
            why = error ? error->message : "unknown error";
            g_clear_error(&error);
        }
        main->post([weak, why] {
            auto state = weak.lock();
            if (!state) return;
            --state->outstanding;
            if (!why.empty()) state->complain("cannot save the preferences: " + why);
            if (state->alive && state->outstanding == 0 && std::exchange(state->reloadAfterWrites, false))
                startReload(state);
        });
    });
}

const std::string& Defaults::scene() const { return state_->values.scene; }
SceneKind Defaults::sceneKind() const {
    return scene_kind::fromRawValue(state_->values.scene).value_or(SceneKind::archipelago);
}
bool Defaults::daily() const { return state_->values.daily; }
int64_t Defaults::lighting() const { return state_->values.lighting; }
int64_t Defaults::folders() const { return state_->values.folders; }
bool Defaults::welcomed() const { return state_->values.welcomed; }
const std::string& Defaults::path() const { return state_->path; }

void Defaults::setScene(std::string value) {
    Values next = state_->values;
    next.scene = std::move(value);
    set(next);
}
void Defaults::setDaily(bool value) {
    Values next = state_->values;
    next.daily = value;
    set(next);
}
void Defaults::setLighting(int64_t value) {
    Values next = state_->values;
    next.lighting = value;
    set(next);
}
void Defaults::setFolders(int64_t value) {
    Values next = state_->values;
    next.folders = value;
    set(next);
}
void Defaults::setWelcomed(bool value) {
    Values next = state_->values;
    next.welcomed = value;
    set(next);
}

void Defaults::set(const Values& next) {
    State& s = *state_;
    if (next == s.values) return;
    // Keep a broken file for the user instead of writing over it.
    const bool keepAside = std::exchange(s.fileUnreadable, false);
    // Only the keys that were written change in the file; anything else in it stays as it was.
    nlohmann::json& doc = s.doc;
    if (next.scene != s.values.scene) doc["scene"] = next.scene;
    if (next.daily != s.values.daily) doc["daily"] = next.daily;
    if (next.lighting != s.values.lighting) doc["lighting"] = next.lighting;
    if (next.folders != s.values.folders) doc["folders"] = next.folders;
    if (next.welcomed != s.values.welcomed) doc["welcomed"] = next.welcomed;
    write(doc.dump(2) + "\n", keepAside);
    s.change(next);
}

int Defaults::onChange(Key key, Handler handler) {
    int id = state_->nextId++;
    state_->handlers.emplace(id, std::make_pair(key, std::move(handler)));
    return id;
}

void Defaults::removeHandler(int id) { state_->handlers.erase(id); }
