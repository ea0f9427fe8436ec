#pragma once
// The user's preferences: five typed values kept in one small JSON file in the user's configuration
// directory. A missing or unreadable value reads as its default; an unreadable file never costs the values
// that could be read. Edits from outside (an editor, a second instance) are picked up through a file
// monitor; a burst of them is read once, after it. The file is read only when it is a regular file of at
// most `maxBytes`, nested at most `maxDepth` deep; anything else is refused with a message and kept aside on
// the next write. Everything here runs on the main context that was the creating thread's default.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Scene/SceneKind.h"

class WorkerPool;

class Defaults {
public:
    enum class Key { scene, daily, lighting, folders, welcomed };
    static constexpr int keyCount = 5;
    static constexpr size_t maxBytes = 1 << 20;
    static constexpr size_t maxDepth = 64;
    // Outside edits closer together than this are read as one; a steady stream is still read this often.
    static constexpr double quietSeconds = 0.15, longestWaitSeconds = 1.0;

    // The file's name in each key's own spelling.
    static const char* name(Key key);

    // Keeps its file at `directory`/defaults.json; the directory is made on the first write.
    explicit Defaults(std::string directory);
    // $XDG_CONFIG_HOME/vistamere.
    static std::string standardDirectory();
    ~Defaults();
    Defaults(const Defaults&) = delete;
    Defaults& operator=(const Defaults&) = delete;

    // The raw scene name as stored ("" when absent); `sceneKind()` reads an unrecognised one as archipelago.
    const std::string& scene() const;
    SceneKind sceneKind() const;
    bool daily() const;
    int64_t lighting() const;
    int64_t folders() const;
    bool welcomed() const;

    // Each setter writes the file (atomically, on a writer thread of its own) and fires the key's handlers when the
    // value changed. Writes queued while one runs collapse into the newest. In the file, lighting takes 0
    // (follow the system), 1 (day) or 2 (night), folders 0 or 1: other values there are refused with a message.
    void setScene(std::string value);
    void setDaily(bool value);
    void setLighting(int64_t value);
    void setFolders(int64_t value);
    void setWelcomed(bool value);

    // Called on the main context whenever the key's value changes, by a setter or by an outside edit.
    using Handler = std::function<void()>;
    int onChange(Key key, Handler handler);
    void removeHandler(int id);

    const std::string& path() const;

    // The values of one snapshot of the file; also what the parser hands back.
    struct Values {
        std::string scene;
        bool daily = false;
        int64_t lighting = 0;
        int64_t folders = 0;
        bool welcomed = false;
        friend bool operator==(const Values&, const Values&) = default;
    };

    struct State;  // shared with the GIO callbacks, which may finish after the store is gone

private:
    void set(const Values& next);
    void write(std::string text, bool keepAside);
    std::shared_ptr<State> state_;
    std::unique_ptr<WorkerPool> writer_;
};
