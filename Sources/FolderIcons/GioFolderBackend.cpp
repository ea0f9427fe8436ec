// gvfs metadata, extended attributes and icon files behind the folder icon back end.

#include "FolderIcons/GioFolderBackend.h"

#include "FolderIcons/FolderIcons.h"

#include <gio/gio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

namespace FolderIcons {

namespace {

namespace fs = std::filesystem;

constexpr const char* customIconKey = "metadata::custom-icon";
constexpr const char* iconNameKey = "metadata::custom-icon-name";
constexpr const char* emblemsKey = "metadata::emblems";

struct GObjectUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFree {
    void operator()(gpointer p) const { g_free(p); }
};
// A string GLib allocated. (Not named GString: that is GLib's own growing string type.)
using GText = std::unique_ptr<gchar, GFree>;

struct KeyFileFree {
    void operator()(GKeyFile* k) const { g_key_file_free(k); }
};

GPtr<GFile> file(const fs::path& path) { return GPtr<GFile>(g_file_new_for_path(path.c_str())); }

Error gioError(const GError* e, const std::string& what) { return {Error::Domain::gio, e->code, what + ": " + e->message}; }

Error posixError(int err, const std::string& what) { return Error::posix(err, what + ": " + std::strerror(err)); }

bool gone(int err) { return err == ENOENT || err == ENOTDIR; }

// Reads a whole regular file; absent when there is none at the path, it is not a regular file or it is too
// large to be an icon. O_NONBLOCK: a FIFO in its place must not hold the folder worker waiting for a writer.
Found<Bytes> readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        return gone(err) ? Found<Bytes>::absent() : Found<Bytes>::failed(posixError(err, "opening " + path));
    }
    Bytes bytes;
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= GioFolderBackend::largestIcon) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (err == 0 && done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<size_t>(n);
            else if (n == 0) bytes.resize(done);  // shrank while being read: what is there is the file
            else if (errno != EINTR) err = errno;
        }
    } else {
        ::close(fd);
        return Found<Bytes>::absent();
    }
    ::close(fd);
    if (err != 0) return Found<Bytes>::failed(posixError(err, "reading " + path));
    return Found<Bytes>::present(std::move(bytes));
}

// gvfs reads the metadata store in our own process and takes a store file it cannot open for an empty one:
// every folder would look undecorated, the user's icons included. A store file we cannot open is a failed
// read. No store directory at all is no metadata yet.
std::optional<Error> unreadableStore() {
    const fs::path dir = fs::path(g_get_user_data_dir()) / "gvfs-metadata";
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory) return std::nullopt;
        return Error::posix(ec.value(), "reading the gvfs metadata store " + dir.string() + ": " + ec.message());
    }
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd >= 0) {
            ::close(fd);
            continue;
        }
        const int err = errno;
        if (err == ENOENT) continue;  // rotated away while we looked
        return posixError(err, "reading the gvfs metadata store " + it->path().string());
    }
    if (ec) return Error::posix(ec.value(), "reading the gvfs metadata store " + dir.string() + ": " + ec.message());
    return std::nullopt;
}

// Writes the file whole under a temporary name, then renames it into place.
std::optional<Error> writeFile(const fs::path& path, const Bytes& bytes) {
    std::string temp = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return posixError(errno, "creating a file in " + path.parent_path().string());
    int err = 0;
    size_t done = 0;
    while (err == 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n >= 0) done += static_cast<size_t>(n);
        else if (errno != EINTR) err = errno;
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::chmod(temp.c_str(), 0644) != 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return posixError(err, "writing " + path.string());
    }
    return std::nullopt;
}

// Only plain names end up in a file name.
std::string safeName(const std::string& name) {
    std::string out;
    for (const char c : name)
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_') out.push_back(c);
    return out.empty() ? "icon" : out;
}

}  // namespace

GioFolderBackend::GioFolderBackend(fs::path iconDirectory) : iconDirectory_(std::move(iconDirectory)) {}

fs::path GioFolderBackend::defaultIconDirectory() {
    return fs::path(g_get_user_data_dir()) / "vistamere" / "folder-icons";
}

std::optional<Error> GioFolderBackend::probe(const fs::path& dir) {
    errno = 0;
    if (::getxattr(dir.c_str(), markerName, nullptr, 0) < 0 && (errno == ENOTSUP || errno == EOPNOTSUPP))
        return Error::own(Error::unsupported,
                          "the file system of " + dir.string() + " keeps no user extended attributes");
    GError* raw = nullptr;
    const auto f = file(dir);
    g_autoptr(GFileAttributeInfoList) spaces = g_file_query_writable_namespaces(f.get(), nullptr, &raw);
    ErrorPtr error(raw);
    const bool metadata = spaces && g_file_attribute_info_list_lookup(spaces, "metadata") != nullptr;
    if (!metadata)
        return Error::own(Error::unsupported,
                          "no gvfs metadata for " + dir.string() + " (gvfs and a session bus are needed)");
    return std::nullopt;
}

Found<std::vector<Entry>> GioFolderBackend::list(const fs::path& dir) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    std::vector<Entry> entries;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code kindError;
        const fs::file_status st = it->symlink_status(kindError);
        Entry::Kind kind = Entry::Kind::other;
        if (kindError) kind = Entry::Kind::unknown;
        else if (fs::is_directory(st)) kind = Entry::Kind::directory;
        entries.push_back({std::move(name), kind});
    }
    if (ec)
        return Found<std::vector<Entry>>::failed(Error::posix(ec.value(), "listing " + dir.string() + ": " + ec.message()));
    return Found<std::vector<Entry>>::present(std::move(entries));
}

Found<Bytes> GioFolderBackend::attribute(const fs::path& path, const std::string& name) {
    return FolderIcons::attribute(path.string(), name);
}

std::optional<Error> GioFolderBackend::setAttribute(const fs::path& path, const std::string& name, const Bytes& value) {
    if (::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0)
        return posixError(errno, "writing " + name + " of " + path.string());
    return std::nullopt;
}

std::optional<Error> GioFolderBackend::removeAttribute(const fs::path& path, const std::string& name) {
    if (::removexattr(path.c_str(), name.c_str()) != 0 && errno != ENODATA)
        return posixError(errno, "removing " + name + " of " + path.string());
    return std::nullopt;
}

Found<Metadata> GioFolderBackend::metadata(const fs::path& folder) {
    if (auto store = unreadableStore()) return Found<Metadata>::failed(*store);
    GError* raw = nullptr;
    const auto f = file(folder);
    GPtr<GFileInfo> info(g_file_query_info(f.get(), "metadata::custom-icon,metadata::custom-icon-name,metadata::emblems",
                                           G_FILE_QUERY_INFO_NONE, nullptr, &raw));
    ErrorPtr error(raw);
    if (!info) {
        if (error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_NOT_FOUND)) return Found<Metadata>::present({});
        return Found<Metadata>::failed(error ? gioError(error.get(), "reading the metadata of " + folder.string())
                                             : Error{Error::Domain::gio, G_IO_ERROR_FAILED, "reading the metadata of " + folder.string()});
    }
    Metadata meta;
    if (g_file_info_has_attribute(info.get(), customIconKey)) {
        // Any other type than a string cannot be an icon of ours; it still counts as the user's icon.
        const bool text = g_file_info_get_attribute_type(info.get(), customIconKey) == G_FILE_ATTRIBUTE_TYPE_STRING;
        const char* uri = text ? g_file_info_get_attribute_string(info.get(), customIconKey) : nullptr;
        meta.customIcon = uri ? uri : "";
    }
    meta.iconName = g_file_info_has_attribute(info.get(), iconNameKey);
    if (g_file_info_has_attribute(info.get(), emblemsKey)) {
        if (g_file_info_get_attribute_type(info.get(), emblemsKey) == G_FILE_ATTRIBUTE_TYPE_STRINGV) {
            char** list = g_file_info_get_attribute_stringv(info.get(), emblemsKey);
            for (; list && *list; ++list) meta.emblems = meta.emblems || **list != '\0';
        } else {
            meta.emblems = true;
        }
    }

    // A .directory file naming an icon is the user's icon for file managers that read those. Read without
    // blocking: only a regular file can name one.
    const std::string entry = (folder / ".directory").string();
    const Found<Bytes> text = readFile(entry);
    if (text.failedToRead()) return Found<Metadata>::failed(*text.error);
    if (text.value) {
        std::unique_ptr<GKeyFile, KeyFileFree> keys(g_key_file_new());
        // Unreadable as a key file: names no icon.
        if (g_key_file_load_from_data(keys.get(), reinterpret_cast<const char*>(text.value->data()), text.value->size(),
                                      G_KEY_FILE_NONE, nullptr))
            meta.directoryIcon = g_key_file_has_key(keys.get(), "Desktop Entry", "Icon", nullptr);
    }
    return Found<Metadata>::present(std::move(meta));
}

Found<Bytes> GioFolderBackend::iconBytes(const std::string& uri) {
    GText name(g_filename_from_uri(uri.c_str(), nullptr, nullptr));
    if (!name) return Found<Bytes>::absent();  // not a local file: nothing of ours
    return readFile(name.get());
}

Found<bool> GioFolderBackend::exists(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return Found<bool>::present(true);
    const int err = errno;
    if (gone(err)) return Found<bool>::present(false);
    return Found<bool>::failed(posixError(err, "looking at " + path.string()));
}

Found<std::string> GioFolderBackend::store(const IconFile& icon) {
    const fs::path path = iconDirectory_ / (safeName(icon.name) + "-" + digest(icon.png) + ".png");
    std::error_code ec;
    fs::create_directories(iconDirectory_, ec);
    if (ec) return Found<std::string>::failed(Error::posix(ec.value(), "creating " + iconDirectory_.string() + ": " + ec.message()));
    // A file already there with these bytes stays: folders refer to it.
    const Found<Bytes> existing = readFile(path.string());
    if (!existing.value || *existing.value != icon.png) {
        if (auto failed = writeFile(path, icon.png)) return Found<std::string>::failed(*failed);
    }
    GError* raw = nullptr;
    GText uri(g_filename_to_uri(path.c_str(), nullptr, &raw));
    ErrorPtr error(raw);
    if (!uri) return Found<std::string>::failed(gioError(raw, "naming " + path.string()));
    return Found<std::string>::present(uri.get());
}

std::optional<Error> GioFolderBackend::setIcon(const fs::path& folder, const IconFile& icon) {
    const Found<std::string> uri = store(icon);
    if (!uri.value) return uri.error;
    GError* raw = nullptr;
    const auto f = file(folder);
    if (!g_file_set_attribute_string(f.get(), customIconKey, uri.value->c_str(), G_FILE_QUERY_INFO_NONE, nullptr, &raw)) {
        ErrorPtr error(raw);
        return gioError(raw, "setting the icon of " + folder.string());
    }
    return std::nullopt;
}

std::optional<Error> GioFolderBackend::removeIcon(const fs::path& folder) {
    GError* raw = nullptr;
    const auto f = file(folder);
    if (!g_file_set_attribute(f.get(), customIconKey, G_FILE_ATTRIBUTE_TYPE_INVALID, nullptr, G_FILE_QUERY_INFO_NONE,
                              nullptr, &raw)) {
        ErrorPtr error(raw);
        return gioError(raw, "removing the icon of " + folder.string());
    }
    return std::nullopt;
}

void GioFolderBackend::pause(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace FolderIcons
