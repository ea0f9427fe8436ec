#include "Finder/KeyFileIconSource.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gio/gio.h>
#include <map>

#include "Finder/GioWatch.h"
#include "Finder/SettingsLookup.h"

namespace fs = std::filesystem;

namespace {

FinderError failure(std::string reason) { return FinderError{"Finder", FinderError::unavailable, std::move(reason)}; }

// xfdesktop's cells: square, text width 1.9 icon widths plus 6 points padding on each side, 2 points
// apart, inside an 8-point margin, the grid centred in the workarea.
constexpr double cellPadding = 6, cellSpacing = 2, screenMargin = 8, textProportion = 1.9;

// The newest regular file in a directory whose name passes `accept`.
std::optional<fs::path> newest(const fs::path& dir, bool (*accept)(const std::string&)) {
    std::error_code ec;
    std::optional<fs::path> best;
    fs::file_time_type bestTime{};
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        if (!e.is_regular_file(ec) || !accept(e.path().filename().string())) continue;
        const auto t = e.last_write_time(ec);
        if (ec) continue;
        if (!best || t > bestTime || (t == bestTime && e.path() < *best)) {
            best = e.path();
            bestTime = t;
        }
    }
    return best;
}

bool isXfdesktopFile(const std::string& n) {
    return n.rfind("icons.screen", 0) == 0 && n.size() > 3 && n.compare(n.size() - 3, 3, ".rc") == 0;
}

// Every property of an xfconf channel file as "/path/of/property" -> value.
struct ChannelParse {
    std::vector<std::string> path;
    std::map<std::string, std::string> values;
};

void channelStart(GMarkupParseContext*, const gchar* element, const gchar** names, const gchar** values,
                  gpointer data, GError**) {
    auto& p = *static_cast<ChannelParse*>(data);
    std::string name, value;
    bool hasValue = false;
    for (int i = 0; names[i]; ++i) {
        if (std::string(names[i]) == "name") name = values[i];
        if (std::string(names[i]) == "value") { value = values[i]; hasValue = true; }
    }
    if (std::string(element) != "property") {
        p.path.emplace_back();  // keeps start and end balanced; only properties add to a path
        return;
    }
    p.path.push_back(name);
    if (hasValue) {
        std::string full;
        for (const auto& part : p.path)
            if (!part.empty()) full += "/" + part;
        p.values[full] = value;
    }
}

void channelEnd(GMarkupParseContext*, const gchar*, gpointer data, GError**) {
    auto& p = *static_cast<ChannelParse*>(data);
    if (!p.path.empty()) p.path.pop_back();
}

ReplyItem sizeItem(const std::optional<std::string>& text) {
    if (!text) return ReplyItem::none();
    const auto v = SettingsLookup::number(*text);
    return v ? ReplyItem::of(*v) : ReplyItem::none();
}

// One group's two keys as a position item; a key that is missing or not a number stays missing.
ReplyItem keyPair(GKeyFile* kf, const char* group, const char* a, const char* b) {
    auto part = [&](const char* key) {
        gchar* v = g_key_file_get_value(kf, group, key, nullptr);
        if (!v) return ReplyItem::none();
        const auto n = SettingsLookup::number(v);
        g_free(v);
        return n ? ReplyItem::of(*n) : ReplyItem::none();
    };
    return ReplyItem::of(std::vector<ReplyItem>{part(a), part(b)});
}

}  // namespace

KeyFileIconSource::KeyFileIconSource(Manager manager, Options options)
    : manager_(manager), options_(std::move(options)) {}

std::string KeyFileIconSource::name() const {
    return manager_ == Manager::xfdesktop ? "xfdesktop icon file" : "PCManFM desktop items";
}

cg::Point KeyFileIconSource::gridCenter(long row, long col, double width, double height, double icon) {
    const double cell = textProportion * icon + 2 * cellPadding, pitch = cell + cellSpacing;
    auto origin = [&](double extent) {
        const double usable = extent - 2 * screenMargin;
        const double n = std::max(1.0, std::floor((usable + cellSpacing) / pitch));
        return screenMargin + std::max(0.0, (usable - (n * pitch - cellSpacing)) / 2);
    };
    return {origin(width) + static_cast<double>(col) * pitch + cell / 2,
            origin(height) + static_cast<double>(row) * pitch + cellPadding + icon / 2};
}

std::optional<std::string> KeyFileIconSource::xfconf(const std::string& property) const {
    const std::string file = options_.configHome + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml";
    gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(file.c_str(), &text, &length, nullptr)) return std::nullopt;
    ChannelParse parse;
    GMarkupParser parser{channelStart, channelEnd, nullptr, nullptr, nullptr};
    GMarkupParseContext* ctx = g_markup_parse_context_new(&parser, GMarkupParseFlags(0), &parse, nullptr);
    const bool ok = g_markup_parse_context_parse(ctx, text, static_cast<gssize>(length), nullptr) &&
                    g_markup_parse_context_end_parse(ctx, nullptr);
    g_markup_parse_context_free(ctx);
    g_free(text);
    if (!ok) return std::nullopt;  // a broken settings file leaves the defaults, it does not hide the icons
    const auto it = parse.values.find(property);
    if (it == parse.values.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> KeyFileIconSource::xfdesktopFile() const {
    const auto f = newest(options_.configHome + "/xfce4/desktop", isXfdesktopFile);
    if (!f) return std::nullopt;
    return f->string();
}

std::optional<std::string> KeyFileIconSource::pcmanfmProfile() const {
    const fs::path root = options_.configHome + "/pcmanfm";
    if (!options_.profile.empty()) return (root / options_.profile).string();
    std::error_code ec;
    std::optional<fs::path> best;
    fs::file_time_type bestTime{};
    for (const auto& e : fs::directory_iterator(root, ec)) {
        const fs::path items = e.path() / "desktop-items-0.conf";
        const auto t = fs::last_write_time(items, ec);
        if (ec) continue;
        if (!best || t > bestTime || (t == bestTime && e.path() < *best)) {
            best = e.path();
            bestTime = t;
        }
    }
    if (!best) return std::nullopt;
    return best->string();
}

SourceReply KeyFileIconSource::reply() { return manager_ == Manager::xfdesktop ? xfdesktop() : pcmanfm(); }

SourceReply KeyFileIconSource::xfdesktop() {
    const auto file = xfdesktopFile();
    if (!file) return failure(name() + ": no icons.screen*.rc in " + options_.configHome + "/xfce4/desktop");
    // The workarea the cells were laid out in is part of the file's name.
    int width = 0, height = 0, screen = 0;
    const std::string base = fs::path(*file).filename().string();
    if (std::sscanf(base.c_str(), "icons.screen%d-%dx%d.rc", &screen, &width, &height) != 3 || width <= 0 ||
        height <= 0)
        return failure(name() + ": no workarea size in the name " + base);

    GKeyFile* kf = g_key_file_new();
    GError* error = nullptr;
    if (!g_key_file_load_from_file(kf, file->c_str(), G_KEY_FILE_NONE, &error)) {
        FinderError e = failure(name() + ": " + *file + ": " + error->message);
        g_error_free(error);
        g_key_file_free(kf);
        return e;
    }
    const auto sizeText = xfconf("/desktop-icons/icon-size");
    double icon = 48;
    if (sizeText)
        if (const auto v = SettingsLookup::number(*sizeText); v && *v > 0) icon = *v;
    const cg::Point corner = options_.monitors.empty() ? cg::Point{} : options_.monitors.front();

    std::vector<ReplyItem> positions;
    gchar** groups = g_key_file_get_groups(kf, nullptr);
    for (gchar** g = groups; *g; ++g) {
        if (!g_key_file_has_key(kf, *g, "row", nullptr) && !g_key_file_has_key(kf, *g, "col", nullptr))
            continue;  // the file's version group and other bookkeeping
        const ReplyItem cell = keyPair(kf, *g, "row", "col");
        const auto row = cell.items[0].finite(), col = cell.items[1].finite();
        if (!row || !col || *row < 0 || *col < 0 || *row != std::floor(*row) || *col != std::floor(*col) ||
            *row > 1e6 || *col > 1e6) {
            positions.push_back(cell);  // not a cell: the reader skips it
            continue;
        }
        const cg::Point c = gridCenter(static_cast<long>(*row), static_cast<long>(*col), width, height, icon);
        positions.push_back(ReplyItem::point(corner.x + c.x, corner.y + c.y));
    }
    g_strfreev(groups);
    g_key_file_free(kf);

    const bool customFont = xfconf("/desktop-icons/use-custom-font-size").value_or("false") == "true";
    return ReplyItem::of(std::vector<ReplyItem>{
        ReplyItem::of(std::move(positions)), ReplyItem::of(icon),
        customFont ? sizeItem(xfconf("/desktop-icons/font-size")) : ReplyItem::none(),
        ReplyItem::of(std::string("bottom"))});
}

SourceReply KeyFileIconSource::pcmanfm() {
    const auto profile = pcmanfmProfile();
    if (!profile) return failure(name() + ": no profile with desktop-items-0.conf in " + options_.configHome + "/pcmanfm");
    double icon = 48;
    if (const auto v = SettingsLookup::keyFile(options_.configHome + "/libfm/libfm.conf", "ui", "big_icon_size"))
        if (const auto n = SettingsLookup::number(*v); n && *n > 0) icon = *n;

    std::vector<ReplyItem> positions;
    bool any = false;
    for (size_t monitor = 0; monitor < options_.monitors.size(); ++monitor) {
        const std::string file = *profile + "/desktop-items-" + std::to_string(monitor) + ".conf";
        GKeyFile* kf = g_key_file_new();
        GError* error = nullptr;
        if (!g_key_file_load_from_file(kf, file.c_str(), G_KEY_FILE_NONE, &error)) {
            const bool missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
            FinderError e = failure(name() + ": " + file + ": " + error->message);
            g_error_free(error);
            g_key_file_free(kf);
            if (missing) continue;  // a monitor without user-placed icons
            return e;
        }
        any = true;
        const cg::Point origin = options_.monitors[monitor];
        gchar** groups = g_key_file_get_groups(kf, nullptr);
        for (gchar** g = groups; *g; ++g) {
            ReplyItem p = keyPair(kf, *g, "x", "y");
            const auto x = p.items[0].finite(), y = p.items[1].finite();
            // x and y are the top-left corner of the icon in that monitor's desktop.
            if (x && y) p = ReplyItem::point(origin.x + *x + icon / 2, origin.y + *y + icon / 2);
            positions.push_back(std::move(p));
        }
        g_strfreev(groups);
        g_key_file_free(kf);
    }
    if (!any) return failure(name() + ": no desktop-items file in " + *profile);
    return ReplyItem::of(std::vector<ReplyItem>{ReplyItem::of(std::move(positions)), ReplyItem::of(icon),
                                                ReplyItem::none(), ReplyItem::of(std::string("bottom"))});
}

PrefValue KeyFileIconSource::drawsDesktop() {
    if (manager_ == Manager::pcmanfm) return {};  // it draws icons whenever it runs as the desktop
    // xfdesktop's icon style: 0 none, 1 minimised windows, 2 file icons.
    const auto style = xfconf("/desktop-icons/style");
    if (!style) return {};
    const auto n = SettingsLookup::integer(*style);
    if (!n) return {};
    return *n == 2;
}

std::unique_ptr<SourceWatch> KeyFileIconSource::watch(std::function<void()> changed) {
    auto w = std::make_unique<GioWatch>(std::move(changed));
    if (manager_ == Manager::xfdesktop) {
        // The positions file is named after the workarea, so a new one can appear: watch the directory.
        w->directory(options_.configHome + "/xfce4/desktop");
        w->file(options_.configHome + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml");
    } else {
        if (const auto profile = pcmanfmProfile())
            for (size_t monitor = 0; monitor < options_.monitors.size(); ++monitor)
                w->file(*profile + "/desktop-items-" + std::to_string(monitor) + ".conf");
        w->file(options_.configHome + "/libfm/libfm.conf");
    }
    return w;
}
