#pragma once
// An in-memory folder icon back end for tests: folders with attributes and metadata, icon files by URI,
// failures injected per operation and target, and a log of every change and wait.

#include "FolderIcons/FolderBackend.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace FolderIcons {

class FakeFolderBackend final : public FolderBackend {
public:
    struct Folder {
        std::map<std::string, Bytes> attributes;
        Metadata meta;
    };
    enum class Op { list, attribute, setAttribute, removeAttribute, metadata, iconBytes, exists, setIcon, removeIcon };

    // Adds an entry to the listing of `dir`; a directory also gets a folder record.
    Folder& addFolder(const std::filesystem::path& dir, const std::string& name);
    void addEntry(const std::filesystem::path& dir, const std::string& name, Entry::Kind kind);
    Folder& folder(const std::filesystem::path& path) { return folders[path]; }

    // Makes the operation on the target fail `times` times (negative: always). The target is the path,
    // the path + "#" + attribute name for attribute operations, or the URI for iconBytes.
    void fail(Op op, const std::string& target, Error error, int times = -1);

    std::optional<Error> unsupported;  // what probe answers
    std::map<std::filesystem::path, Folder> folders;
    std::set<std::filesystem::path> otherPaths;  // things that exist besides folders, such as ".git" entries
    std::map<std::string, Bytes> files;          // icon files by URI
    std::map<std::filesystem::path, std::vector<Entry>> listings;
    std::vector<std::string> log;                // "setIcon <path>", "pause 1500", …
    std::function<void()> onPause;               // runs during a pause, to change things meanwhile
    // The process killed right after this many more changes: the change that reaches 0 is made, then
    // `Killed` is thrown out of the pass. Negative: never.
    int changesBeforeKill = -1;
    struct Killed {};

    std::optional<Error> probe(const std::filesystem::path& dir) override;
    Found<std::vector<Entry>> list(const std::filesystem::path& dir) override;
    Found<Bytes> attribute(const std::filesystem::path& path, const std::string& name) override;
    std::optional<Error> setAttribute(const std::filesystem::path& path, const std::string& name,
                                      const Bytes& value) override;
    std::optional<Error> removeAttribute(const std::filesystem::path& path, const std::string& name) override;
    Found<Metadata> metadata(const std::filesystem::path& folder) override;
    Found<Bytes> iconBytes(const std::string& uri) override;
    Found<bool> exists(const std::filesystem::path& path) override;
    std::optional<Error> setIcon(const std::filesystem::path& folder, const IconFile& icon) override;
    std::optional<Error> removeIcon(const std::filesystem::path& folder) override;
    void pause(std::chrono::milliseconds duration) override;

private:
    std::optional<Error> injected(Op op, const std::string& target);
    void changed(std::string line);
    std::map<std::pair<Op, std::string>, std::pair<Error, int>> failures_;
};

}  // namespace FolderIcons
