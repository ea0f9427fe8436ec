#include "FolderIcons/FakeFolderBackend.h"

#include "FolderIcons/FolderIcons.h"

#include <cerrno>

namespace FolderIcons {

namespace fs = std::filesystem;

FakeFolderBackend::Folder& FakeFolderBackend::addFolder(const fs::path& dir, const std::string& name) {
    addEntry(dir, name, Entry::Kind::directory);
    return folders[dir / name];
}

void FakeFolderBackend::addEntry(const fs::path& dir, const std::string& name, Entry::Kind kind) {
    listings[dir].push_back({name, kind});
    if (kind != Entry::Kind::directory) otherPaths.insert(dir / name);
}

void FakeFolderBackend::fail(Op op, const std::string& target, Error error, int times) {
    failures_[{op, target}] = {std::move(error), times};
}

std::optional<Error> FakeFolderBackend::injected(Op op, const std::string& target) {
    const auto it = failures_.find({op, target});
    if (it == failures_.end() || it->second.second == 0) return std::nullopt;
    if (it->second.second > 0) --it->second.second;
    return it->second.first;
}

void FakeFolderBackend::changed(std::string line) {
    log.push_back(std::move(line));
    if (changesBeforeKill > 0 && --changesBeforeKill == 0) throw Killed{};
}

std::optional<Error> FakeFolderBackend::probe(const fs::path&) { return unsupported; }

Found<std::vector<Entry>> FakeFolderBackend::list(const fs::path& dir) {
    if (auto e = injected(Op::list, dir.string())) return Found<std::vector<Entry>>::failed(*e);
    std::vector<Entry> out;
    for (const Entry& entry : listings[dir])
        if (!entry.name.empty() && entry.name.front() != '.') out.push_back(entry);
    return Found<std::vector<Entry>>::present(std::move(out));
}

Found<Bytes> FakeFolderBackend::attribute(const fs::path& path, const std::string& name) {
    if (auto e = injected(Op::attribute, path.string() + "#" + name)) return Found<Bytes>::failed(*e);
    const auto f = folders.find(path);
    if (f == folders.end()) return Found<Bytes>::absent();
    const auto a = f->second.attributes.find(name);
    return a == f->second.attributes.end() ? Found<Bytes>::absent() : Found<Bytes>::present(a->second);
}

std::optional<Error> FakeFolderBackend::setAttribute(const fs::path& path, const std::string& name, const Bytes& value) {
    if (auto e = injected(Op::setAttribute, path.string() + "#" + name)) return e;
    if (!folders.count(path)) return Error::posix(ENOENT, path.string());
    folders[path].attributes[name] = value;
    changed("setAttribute " + path.string());
    return std::nullopt;
}

std::optional<Error> FakeFolderBackend::removeAttribute(const fs::path& path, const std::string& name) {
    if (auto e = injected(Op::removeAttribute, path.string() + "#" + name)) return e;
    if (folders.count(path) && folders[path].attributes.erase(name)) changed("removeAttribute " + path.string());
    return std::nullopt;
}

Found<Metadata> FakeFolderBackend::metadata(const fs::path& folder) {
    if (auto e = injected(Op::metadata, folder.string())) return Found<Metadata>::failed(*e);
    const auto f = folders.find(folder);
    return Found<Metadata>::present(f == folders.end() ? Metadata{} : f->second.meta);
}

Found<Bytes> FakeFolderBackend::iconBytes(const std::string& uri) {
    if (auto e = injected(Op::iconBytes, uri)) return Found<Bytes>::failed(*e);
    const auto f = files.find(uri);
    return f == files.end() ? Found<Bytes>::absent() : Found<Bytes>::present(f->second);
}

Found<bool> FakeFolderBackend::exists(const fs::path& path) {
    if (auto e = injected(Op::exists, path.string())) return Found<bool>::failed(*e);
    return Found<bool>::present(folders.count(path) > 0 || otherPaths.count(path) > 0);
}

std::optional<Error> FakeFolderBackend::setIcon(const fs::path& folder, const IconFile& icon) {
    if (auto e = injected(Op::setIcon, folder.string())) return e;
    if (!folders.count(folder)) return Error::posix(ENOENT, folder.string());
    const std::string uri = "file:///icons/" + icon.name + "-" + digest(icon.png) + ".png";
    files[uri] = icon.png;
    folders[folder].meta.customIcon = uri;
    changed("setIcon " + folder.string());
    return std::nullopt;
}

std::optional<Error> FakeFolderBackend::removeIcon(const fs::path& folder) {
    if (auto e = injected(Op::removeIcon, folder.string())) return e;
    if (folders.count(folder) && folders[folder].meta.customIcon) {
        folders[folder].meta.customIcon.reset();
        changed("removeIcon " + folder.string());
    }
    return std::nullopt;
}

void FakeFolderBackend::pause(std::chrono::milliseconds duration) {
    log.push_back("pause " + std::to_string(duration.count()));
    if (onPause) onPause();
}

}  // namespace FolderIcons
