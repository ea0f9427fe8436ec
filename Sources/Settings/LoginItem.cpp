#include "Settings/LoginItem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kGroup = "Desktop Entry";
constexpr const char* kOurs = "X-Vistamere-LoginItem";
constexpr const char* kGnomeEnabled = "X-GNOME-Autostart-enabled";

struct KeyFileDeleter {
    void operator()(GKeyFile* f) const { g_key_file_free(f); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct ErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;

// What lies at the entry's path.
struct Entry {
    enum class Kind { absent, ours, foreign, malformed };
    Kind kind = Kind::absent;
    bool starts = false;         // the session starts it at login
    bool programExists = false;  // the program its Exec line names is there to run
    KeyFile keys;
};

bool boolean(GKeyFile* keys, const char* key, bool fallback) {
    GError* raw = nullptr;
    const gboolean value = g_key_file_get_boolean(keys, kGroup, key, &raw);
    ErrorPtr error(raw);
    return error ? fallback : value != FALSE;
}

// The program an Exec line runs: its first argument, unquoted, with "%%" read as "%".
std::string program(const std::string& exec) {
    int argc = 0;
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(exec.c_str(), &argc, &argv, nullptr)) return {};
    std::string first = argc > 0 ? argv[0] : "";
    g_strfreev(argv);
    std::string out;
    for (std::size_t i = 0; i < first.size(); ++i) {
        out += first[i];
        if (first[i] == '%' && i + 1 < first.size() && first[i + 1] == '%') ++i;
    }
    return out;
}

bool runnable(const std::string& program) {
    if (program.empty()) return false;
    if (program.find('/') == std::string::npos) {
        g_autofree gchar* found = g_find_program_in_path(program.c_str());
        return found != nullptr;
    }
    struct stat st {};
    return program.front() == '/' && ::stat(program.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(program.c_str(), X_OK) == 0;
}

Entry read(const fs::path& file) {
    Entry entry;
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        // A directory on the way that is a file means there is no entry either.
        entry.kind = errno == ENOENT || errno == ENOTDIR ? Entry::Kind::absent : Entry::Kind::malformed;
        return entry;
    }
    entry.kind = Entry::Kind::malformed;
    if (S_ISDIR(st.st_mode)) return entry;
    entry.keys.reset(g_key_file_new());
    if (!g_key_file_load_from_file(entry.keys.get(), file.c_str(),
                                   static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS),
                                   nullptr) ||
        !g_key_file_has_group(entry.keys.get(), kGroup))
        return entry;
    GKeyFile* keys = entry.keys.get();
    // A link is never ours to write through, whatever it points to.
    entry.kind = S_ISREG(st.st_mode) && boolean(keys, kOurs, false) ? Entry::Kind::ours : Entry::Kind::foreign;
    entry.starts = !boolean(keys, "Hidden", false) && boolean(keys, kGnomeEnabled, true);
    g_autofree gchar* exec = g_key_file_get_string(keys, kGroup, "Exec", nullptr);
    entry.programExists = exec && runnable(program(exec));
    return entry;
}

LoginItem::Status statusOf(const Entry& entry) {
    switch (entry.kind) {
    case Entry::Kind::absent: return LoginItem::Status::notRegistered;
    case Entry::Kind::malformed: return LoginItem::Status::notFound;
    case Entry::Kind::ours:
    case Entry::Kind::foreign: break;
    }
    if (!entry.starts) return LoginItem::Status::notRegistered;
    return entry.programExists ? LoginItem::Status::enabled : LoginItem::Status::notFound;
}

LoginItemError glibError(const GError* error, const std::string& what) {
    return {LoginItemError::Domain::glib, error ? error->code : 0, what + ": " + (error ? error->message : "failed")};
}

}  // namespace

LoginItem::LoginItem(fs::path directory, std::string id, fs::path executable)
    : directory_(std::move(directory)), file_(directory_ / (id + ".desktop")), executable_(std::move(executable)) {}

LoginItem LoginItem::forThisProgram() { return LoginItem(defaultDirectory(), "vistamere", thisProgram()); }

fs::path LoginItem::defaultDirectory() { return fs::path(g_get_user_config_dir()) / "autostart"; }

fs::path LoginItem::thisProgram() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    const char* path = g_getenv("PATH");
    return startablePath(exe.string(), path ? path : "");
}

fs::path LoginItem::startablePath(const std::string& running, const std::string& searchPath) {
    constexpr std::string_view deleted = " (deleted)";
    fs::path program = running;
    bool replaced = false;
    if (running.size() > deleted.size() && running.compare(running.size() - deleted.size(), deleted.size(), deleted) == 0) {
        program = running.substr(0, running.size() - deleted.size());
        replaced = true;
    }
    if (!program.is_absolute() || program.filename().empty()) return program;
    struct stat self {};
    // A replaced program is no longer at its path: only the path itself can say it is the same.
    const bool known = !replaced && ::stat(program.c_str(), &self) == 0;
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(program, ec);
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        const fs::path dir = searchPath.substr(start, end - start);
        start = end + 1;
        // Empty and relative entries depend on the directory the session starts in.
        if (!dir.is_absolute()) continue;
        const fs::path candidate = dir / program.filename();
        struct stat st {};
        if (::stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(candidate.c_str(), X_OK) != 0)
            continue;
        const bool sameFile = known && st.st_dev == self.st_dev && st.st_ino == self.st_ino;
        std::error_code cec;
        if (sameFile || (!ec && fs::weakly_canonical(candidate, cec) == canonical && !cec)) return candidate;
    }
    return program;
}

std::string LoginItem::execArgument(const std::string& path) {
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    const bool quote = path.empty() || path.find_first_of(reserved) != std::string::npos;
    if (quote) out += '"';
    for (char c : path) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        out += c;
        if (c == '%') out += '%';
    }
    if (quote) out += '"';
    return out;
}

LoginItem::Status LoginItem::status() const { return statusOf(read(file_)); }

std::optional<LoginItemError> LoginItem::registerItem() {
    Entry entry = read(file_);
    switch (entry.kind) {
    case Entry::Kind::malformed:
        return LoginItemError::own(LoginItemError::malformedEntry,
                                   file_.string() + " is not a desktop entry; it was left as it is");
    case Entry::Kind::foreign:
        if (statusOf(entry) == Status::enabled) return std::nullopt;
        return LoginItemError::own(LoginItemError::foreignEntry,
                                   file_.string() + " was not written by Vistamere; it was left as it is");
    case Entry::Kind::absent: entry.keys.reset(g_key_file_new()); break;
    case Entry::Kind::ours: break;
    }
    if (executable_.empty() || !executable_.is_absolute())
        return LoginItemError::own(LoginItemError::noExecutable, "the path of this program is unknown");

    GKeyFile* keys = entry.keys.get();
    g_key_file_set_string(keys, kGroup, "Type", "Application");
    g_key_file_set_string(keys, kGroup, "Name", "Vistamere");
    g_key_file_set_string(keys, kGroup, "Comment", "Living scenery that grows around your desktop icons");
    g_key_file_set_string(keys, kGroup, "Exec", execArgument(executable_.string()).c_str());
    g_key_file_set_boolean(keys, kGroup, "Terminal", FALSE);
    g_key_file_remove_key(keys, kGroup, "Hidden", nullptr);
    g_key_file_set_boolean(keys, kGroup, kGnomeEnabled, TRUE);
    g_key_file_set_boolean(keys, kGroup, kOurs, TRUE);

    if (g_mkdir_with_parents(directory_.c_str(), 0700) != 0) {
        const int error = errno;
        return LoginItemError{LoginItemError::Domain::posix, error,
                              "making " + directory_.string() + ": " + std::strerror(error)};
    }
    GError* raw = nullptr;
    // Written to a temporary file and renamed over the old one: never half an entry.
    const bool saved = g_key_file_save_to_file(keys, file_.c_str(), &raw);
    ErrorPtr error(raw);
    if (!saved) return glibError(error.get(), "writing " + file_.string());
    return std::nullopt;
}

std::optional<LoginItemError> LoginItem::unregisterItem() {
    const Entry entry = read(file_);
    switch (entry.kind) {
    case Entry::Kind::absent:
    case Entry::Kind::malformed: return std::nullopt;  // the session starts nothing from it
    case Entry::Kind::foreign:
        if (!entry.starts) return std::nullopt;
        return LoginItemError::own(LoginItemError::foreignEntry,
                                   file_.string() + " was not written by Vistamere; it was left as it is");
    case Entry::Kind::ours: break;
    }
    if (::unlink(file_.c_str()) != 0 && errno != ENOENT) {
        const int error = errno;
        return LoginItemError{LoginItemError::Domain::posix, error,
                              "removing " + file_.string() + ": " + std::strerror(error)};
    }
    return std::nullopt;
}

LoginItem::Status LoginItem::set(bool on) {
    if (const auto error = on ? registerItem() : unregisterItem())
        std::fprintf(stderr, "Vistamere: login item change failed: %s\n", error->reason.c_str());
    return status();
}
