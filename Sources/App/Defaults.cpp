#include "App/Defaults.h"

#include "App/GlibMainQueue.h"
#include "Platform/Files/JsonLimits.h"
#include "App/WorkerPool.h"
#include "Platform/Files/Files.h"

#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <chrono>
#include <map>
#include <cstdint>
#include <mutex>
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

bool inRange(Defaults::Key key, int64_t value) {
    if (key == Defaults::Key::lighting) return value >= 0 && value <= 2;
    if (key == Defaults::Key::folders) return value == 0 || value == 1;
    return true;
}

// Reads what can be read; a value of the wrong type or out of range keeps its default and is named in `bad`.
Defaults::Values read(const nlohmann::json& doc, std::string& bad) {
    Defaults::Values v;
    auto note = [&](Defaults::Key key) { bad += (bad.empty() ? "" : ", ") + std::string(Defaults::name(key)); };
    auto noteValue = [&](Defaults::Key key, int64_t value) {
        bad += (bad.empty() ? "" : ", ") + std::string(Defaults::name(key)) + " " + std::to_string(value) +
               " out of range";
    };
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
        const int64_t value = j->get<int64_t>();
        if (!inRange(key, value)) {
            noteValue(key, value);
            continue;
        }
        (key == Defaults::Key::lighting ? v.lighting : v.folders) = value;
    }
    return v;
}

// How deep a document nests, walked with a stack of our own: a document too deep to walk recursively is
// exactly the one to find.
size_t depthOf(const nlohmann::json& doc, size_t limit) {
    std::vector<std::pair<const nlohmann::json*, size_t>> todo{{&doc, 1}};
    size_t deepest = 0;
    while (!todo.empty()) {
        const auto [j, depth] = todo.back();
        todo.pop_back();
        if (!j->is_structured()) continue;
        deepest = std::max(deepest, depth);
        if (deepest > limit) return deepest;
        for (const auto& child : *j) todo.emplace_back(&child, depth + 1);
    }
    return deepest;
}

// The text of the file to write. Bytes that are not UTF-8 (a scene name set from anywhere) are written as
// U+FFFD rather than refused, and a document nested too deep keeps only our own keys.
std::string serialise(nlohmann::json& doc, const Defaults::Values& v) {
    if (!doc.is_object() || depthOf(doc, Defaults::maxDepth) > Defaults::maxDepth) {
        say("the preferences held data nested too deep to keep; writing only the program's own values");
        doc = nlohmann::json::object();
        doc["scene"] = v.scene;
        doc["daily"] = v.daily;
        doc["lighting"] = v.lighting;
        doc["folders"] = v.folders;
        doc["welcomed"] = v.welcomed;
    }
    return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// What a file read gave: its text, nothing there, or why it could not be used.
struct FileRead {
    std::optional<std::string> text;
    std::string error;  // empty when the text was read or no file is there
};

FileRead readFile(const std::string& path) {
    FileRead r;
    r.text = files::readRegular(path, Defaults::maxBytes, &r.error);
    if (!r.text && files::missing(r.error)) r.error.clear();
    return r;
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
    bool reloadAfterWrites = false;  // a notice came while our writes ran: it may have been an outside edit
    Timers::Id reloadTimer = 0;      // a read waiting for a burst of change notices to end
    std::chrono::steady_clock::time_point burstStart;
    // The newest text to write: queued writes collapse into it, so a burst of setter calls costs one write.
    struct Pending {
        std::mutex lock;
        std::optional<std::string> text;
        bool keepAside = false;
    };
    std::shared_ptr<Pending> pending = std::make_shared<Pending>();

    void complain(const std::string& line) {
        if (line == lastComplaint) return;  // once, not on every change notice
        lastComplaint = line;
        say(line);
    }

    // Parses one snapshot of the file. No text means no file: every value reads as its default.
    void absorb(const FileRead& file, const char* keeping) {
        if (!file.error.empty()) {
            // Not a file we can take (a FIFO, a huge one, one we may not read): keep what we have, and on the
            // next write keep it aside rather than write over it.
            fileUnreadable = true;
            complain("cannot read " + path + ": " + file.error + "; " + keeping);
            return;
        }
        const std::optional<std::string>& text = file.text;
        Values next;
        if (text) {
            // Checked on the text: a document nested this deep could be parsed, but never written back.
            if (json_limits::nesting(*text, maxDepth) > maxDepth) {
                fileUnreadable = true;
                complain("cannot read the preferences in " + path + ": nested more than " + std::to_string(maxDepth) +
                         " deep; " + keeping);
                return;
            }
            nlohmann::json j = nlohmann::json::parse(*text, nullptr, false);
            if (j.is_discarded() || !j.is_object()) {
                // A half-saved or broken file: keep every value we have rather than fall back to defaults.
                fileUnreadable = true;
                complain("cannot read the preferences in " + path + "; " + keeping);
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

// Reads the file now, unless our own writes are under way: the file will hold our newer values, and a read
// follows once they are done.
void reloadNow(const Hold& s) {
    if (!s->alive) return;
    if (s->outstanding > 0) {
        s->reloadAfterWrites = true;
        return;
    }
    s->absorb(readFile(s->path), "keeping the values in use");
}

// A change notice starts a short wait; more notices within it push the read back, up to a longest wait,
// so an editor's or a script's burst of saves costs one read and one change of each value.
void scheduleReload(const Hold& s) {
    const auto now = std::chrono::steady_clock::now();
    if (s->reloadTimer) {
        if (now - s->burstStart >= std::chrono::duration<double>(Defaults::longestWaitSeconds)) return;
        s->main->cancel(std::exchange(s->reloadTimer, 0));
    } else {
        s->burstStart = now;
    }
    std::weak_ptr<Defaults::State> weak = s;
    s->reloadTimer = s->main->after(Defaults::quietSeconds, [weak] {
        const Hold state = weak.lock();
        if (!state) return;
        state->reloadTimer = 0;
        reloadNow(state);
    });
}

void onMonitor(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer data) {
    if (event == G_FILE_MONITOR_EVENT_PRE_UNMOUNT || event == G_FILE_MONITOR_EVENT_UNMOUNTED ||
        event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED)
        return;
    Hold& s = *static_cast<Hold*>(data);
    if (s->alive) scheduleReload(s);
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
    g_autofree gchar* dir = g_build_filename(g_get_user_config_dir(), "vistamere", nullptr);
    return dir;
}

Defaults::Defaults(std::string directory)
    : state_(std::make_shared<State>()), writer_(std::make_unique<WorkerPool>(1, "preferences")) {
    state_->main = std::make_shared<GlibMainQueue>();
    state_->directory = std::move(directory);
    g_autofree gchar* path = g_build_filename(state_->directory.c_str(), "defaults.json", nullptr);
    state_->path = path;
    // The first read happens once at start-up, before anything is shown: the first render needs the values.
    state_->absorb(readFile(state_->path), "using the defaults");
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = g_file_new_for_path(state_->path.c_str());
    state_->monitor = g_file_monitor_file(file, G_FILE_MONITOR_NONE, nullptr, &error);
    if (state_->monitor) {
        g_signal_connect_data(state_->monitor, "changed", G_CALLBACK(onMonitor), new Hold(state_),
                              [](gpointer p, GClosure*) { delete static_cast<Hold*>(p); }, GConnectFlags(0));
    } else {
        state_->complain(std::string("cannot watch the preferences for outside edits: ") +
                         (error ? error->message : "unknown error"));
    }
}

Defaults::~Defaults() {
    state_->alive = false;
    state_->handlers.clear();
    if (state_->reloadTimer) state_->main->cancel(std::exchange(state_->reloadTimer, 0));
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
    {
        std::lock_guard lock(s.pending->lock);
        s.pending->text = std::move(text);
        s.pending->keepAside = s.pending->keepAside || keepAside;
    }
    std::weak_ptr<State> weak = state_;
    writer_->run([weak, main = s.main, dir = s.directory, path = s.path, pending = s.pending] {
        GError* error = nullptr;
        std::string why;
        std::optional<std::string> text;
        bool keepAside = false;
        {
            std::lock_guard lock(pending->lock);
            text = std::exchange(pending->text, std::nullopt);
            keepAside = std::exchange(pending->keepAside, false);
        }
        // An earlier job already wrote these values: nothing newer to write.
        if (text && keepAside) {
            std::string aside = path + ".bad";
            if (std::rename(path.c_str(), aside.c_str()) == 0)
                say("the unreadable preferences file was kept as " + aside);
        }
        if (text) g_mkdir_with_parents(dir.c_str(), 0700);
        // A temporary file beside the target renamed over it: a reader never sees half a file. The one
        // writer thread keeps the writes in order, so the newest values are the last on disk.
        if (text && !g_file_set_contents(path.c_str(), text->data(), static_cast<gssize>(text->size()), &error)) {
            why = error ? error->message : "unknown error";
            g_clear_error(&error);
        }
        main->post([weak, why] {
            auto state = weak.lock();
            if (!state) return;
            --state->outstanding;
            if (!why.empty()) state->complain("cannot save the preferences: " + why);
            if (state->alive && state->outstanding == 0 && std::exchange(state->reloadAfterWrites, false))
                scheduleReload(state);
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
    write(serialise(doc, next), keepAside);
    s.change(next);
}

int Defaults::onChange(Key key, Handler handler) {
    int id = state_->nextId++;
    state_->handlers.emplace(id, std::make_pair(key, std::move(handler)));
    return id;
}

void Defaults::removeHandler(int id) { state_->handlers.erase(id); }
