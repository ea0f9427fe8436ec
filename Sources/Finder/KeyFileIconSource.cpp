#include "Finder/KeyFileIconSource.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gio/gio.h>
#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <sys/stat.h>

#include "Finder/DeskLayout.h"
#include "Finder/GioWatch.h"
#include "Finder/SettingsLookup.h"

namespace fs = std::filesystem;

namespace {


// xfdesktop's grid, as xfdesktop 4.18 draws it: square cells of 1.9 icon widths plus 6 points of padding
// on each side; the file's name holds the workarea less an 8-point margin on each side, and the cells are
// spread over it, the rest of the space shared out in whole points between the cells and the two edges.
constexpr double cellPadding = 6, screenMargin = 8, textProportion = 1.9;
// PCManFM's cells: a label 104 points wide (or the icon, when wider) with 6 points of padding around; an
// icon 2 points above a two-line label; the first cell 2 points in from the workarea's corner.
constexpr double pcmanfmPadding = 6, pcmanfmSpacing = 2, pcmanfmMargin = 2, pcmanfmTextWidth = 104;
// PCManFM draws the icon one point below the padding.
constexpr double pcmanfmIconDrop = 1;

// The largest workarea side a file's name may claim; X11 screens end at 32767.
constexpr int maxWorkarea = 32767;

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

// The grid size in the name of a positions file ("icons.screen0-1008x752.rc"); nothing for any other name.
std::optional<std::pair<int, int>> gridSize(const std::string& name) {
    int screen = 0, width = 0, height = 0, end = 0;
    if (std::sscanf(name.c_str(), "icons.screen%d-%dx%d.rc%n", &screen, &width, &height, &end) != 3 ||
        static_cast<size_t>(end) != name.size() || width <= 0 || height <= 0 || width > maxWorkarea ||
        height > maxWorkarea)
        return std::nullopt;
    return std::pair{width, height};
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

// One key of a group as a finite number; nothing when it is missing or not one.
std::optional<double> keyNumber(GKeyFile* kf, const char* group, const char* key) {
    g_autofree gchar* v = g_key_file_get_value(kf, group, key, nullptr);
    if (!v) return std::nullopt;
    const auto n = SettingsLookup::number(v);
    if (!n || !std::isfinite(*n)) return std::nullopt;
    return n;
}

}  // namespace

FinderError KeyFileIconSource::failure(std::string reason) const {
    return FinderError{name(), FinderError::unavailable, name() + ": " + std::move(reason)};
}

KeyFileIconSource::KeyFileIconSource(Manager manager, Options options)
    : manager_(manager), options_(std::move(options)) {}

std::string KeyFileIconSource::name() const {
    return manager_ == Manager::xfdesktop ? "xfdesktop icon file" : "PCManFM desktop items";
}

KeyFileIconSource::Grid KeyFileIconSource::grid(int width, int height, double icon) {
    Grid g;
    g.cell = textProportion * icon + 2 * cellPadding;
    // One axis as xfdesktop computes it, in its whole numbers: the count of cells, then the space left over
    // shared between them, then what remains of it split between the two edges.
    auto axis = [&](int extent, int& count, double& pitch, double& margin) {
        count = std::max(0, static_cast<int>((extent - 2 * screenMargin) / g.cell));
        const int rest = static_cast<int>(extent - count * g.cell);
        const int spacing = count > 1 ? (rest - 2 * static_cast<int>(screenMargin)) / (count - 1) : 1;
        margin = (rest - (count - 1) * spacing) / 2;
        pitch = g.cell + spacing;
    };
    axis(width, g.columns, g.columnPitch, g.left);
    axis(height, g.rows, g.rowPitch, g.top);
    return g;
}

cg::Point KeyFileIconSource::Grid::center(long row, long col, double icon) const {
    return {screenMargin + left + static_cast<double>(col) * columnPitch + cell / 2,
            screenMargin + top + static_cast<double>(row) * rowPitch + cellPadding + icon / 2};
}

std::optional<std::string> KeyFileIconSource::xfconf(const std::string& property) const {
    const std::string file = options_.configHome + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml";
    g_autofree gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(file.c_str(), &text, &length, nullptr)) return std::nullopt;
    ChannelParse parse;
    GMarkupParser parser{channelStart, channelEnd, nullptr, nullptr, nullptr};
    g_autoptr(GMarkupParseContext) ctx = g_markup_parse_context_new(&parser, GMarkupParseFlags(0), &parse, nullptr);
    const bool ok = g_markup_parse_context_parse(ctx, text, static_cast<gssize>(length), nullptr) &&
                    g_markup_parse_context_end_parse(ctx, nullptr);
    if (!ok) return std::nullopt;  // a broken settings file leaves the defaults, it does not hide the icons
    const auto it = parse.values.find(property);
    if (it == parse.values.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> KeyFileIconSource::xfdesktopFile() const {
    const fs::path dir = options_.configHome + "/xfce4/desktop";
    std::error_code ec;
    // xfdesktop points icons.screen.latest.rc at the file it uses; the name of the file it points at tells
    // the grid size, the link's own name does not.
    const fs::path latest = fs::canonical(dir / "icons.screen.latest.rc", ec);
    if (!ec && fs::is_regular_file(latest, ec) && gridSize(latest.filename().string())) return latest.string();
    const auto f = newest(dir, [](const std::string& n) { return isXfdesktopFile(n) && gridSize(n).has_value(); });
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

FinderResult KeyFileIconSource::layout() { return manager_ == Manager::xfdesktop ? xfdesktop() : pcmanfm(); }

FinderResult KeyFileIconSource::xfdesktop() {
    const auto file = xfdesktopFile();
    if (!file)
        return failure("no icons.screen<n>-<width>x<height>.rc in " + options_.configHome + "/xfce4/desktop");
    const auto size = gridSize(fs::path(*file).filename().string());

    g_autoptr(GKeyFile) kf = g_key_file_new();
    g_autoptr(GError) error = nullptr;
    if (!g_key_file_load_from_file(kf, file->c_str(), G_KEY_FILE_NONE, &error))
        return failure(*file + ": " + error->message);
    const std::string settings = options_.configHome + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml";
    double icon = 48;
    if (const auto text = xfconf("/desktop-icons/icon-size"))
        if (const auto v = SettingsLookup::sizeIn(*text, DeskLayout::minIconSize, DeskLayout::maxIconSize, settings,
                                                  "/desktop-icons/icon-size"))
            icon = *v;
    const cg::Point corner = options_.monitors.empty() ? cg::Point{} : options_.monitors.front();
    const Grid g = grid(size->first, size->second, icon);

    DeskLayout out;
    out.iconSize = icon;
    g_auto(GStrv) groups = g_key_file_get_groups(kf, nullptr);
    for (gchar** group = groups; *group; ++group) {
        if (!g_key_file_has_key(kf, *group, "row", nullptr) && !g_key_file_has_key(kf, *group, "col", nullptr))
            continue;  // the file's version group and other bookkeeping
        const auto row = keyNumber(kf, *group, "row"), col = keyNumber(kf, *group, "col");
        // Only a whole cell of the grid is a place xfdesktop can show an icon at.
        auto inGrid = [](std::optional<double> v, int count) {
            return v && *v >= 0 && *v < count && *v == std::floor(*v);
        };
        if (!inGrid(row, g.rows) || !inGrid(col, g.columns)) {
            auto text = [&](const char* key) {
                g_autofree gchar* v = g_key_file_get_value(kf, *group, key, nullptr);
                return std::string(v ? v : "(none)");
            };
            const std::string key = std::string("[") + *group + "] ";
            SettingsLookup::refuse(*file, key + "row, col", text("row") + ", " + text("col"),
                                   "not a cell of the " + std::to_string(g.rows) + " × " + std::to_string(g.columns) +
                                       " grid");
            continue;
        }
        const cg::Point c = g.center(static_cast<long>(*row), static_cast<long>(*col), icon);
        out.centers.push_back({corner.x + c.x, corner.y + c.y});
    }

    const bool customFont = xfconf("/desktop-icons/use-custom-font-size").value_or("false") == "true";
    if (customFont)
        if (const auto text = xfconf("/desktop-icons/font-size"))
            if (const auto v = SettingsLookup::sizeIn(*text, DeskLayout::minTextSize, DeskLayout::maxTextSize, settings,
                                                      "/desktop-icons/font-size"))
                out.textSize = *v;
    return out;
}

double KeyFileIconSource::PcmanfmCells::width() const {
    return std::max(pcmanfmTextWidth, icon) + 2 * pcmanfmPadding;
}

double KeyFileIconSource::PcmanfmCells::height() const {
    return icon + pcmanfmSpacing + (2 * fontHeight + 4) + 2 * pcmanfmPadding;
}

cg::Point KeyFileIconSource::PcmanfmCells::center(double x, double y) const {
    return {x + width() / 2, y + pcmanfmPadding + pcmanfmIconDrop + icon / 2};
}

double KeyFileIconSource::pcmanfmFontHeight(double points) {
    // Fitted to the cell heights PCManFM 1.3.2 gave "Sans" (DejaVu Sans) from 8 to 20 points.
    return std::floor(1.2 * points * 96 / 72 + 1.6);
}

std::vector<cg::Point> KeyFileIconSource::pcmanfmFlow(size_t count, const PcmanfmCells& cells, double height,
                                                      const std::vector<cg::Point>& fixed) {
    const double w = cells.width(), h = cells.height();
    // What an icon with a one-line label covers, and how far down its item reaches.
    const double covered = cells.icon + pcmanfmSpacing + cells.fontHeight + 4;
    const double itemHeight = covered + 2 * pcmanfmPadding;
    const double bottom = height > 0 ? height - pcmanfmMargin : std::numeric_limits<double>::infinity();
    auto overlaps = [&](const cg::Point& a, const cg::Point& b) {
        return std::fabs(a.x - b.x) < w - 2 * pcmanfmPadding && std::fabs(a.y - b.y) < covered;
    };
    std::vector<cg::Point> out;
    double x = pcmanfmMargin, y = pcmanfmMargin;
    for (size_t i = 0; i < count; ++i) {
        // Column by column; a cell that a placed icon covers is passed over. Bounded: a workarea of
        // 100 000 cells has room for any Desktop.
        for (int tries = 0; tries < 100000; ++tries) {
            if (y + itemHeight > bottom && y > pcmanfmMargin) {
                x += w;
                y = pcmanfmMargin;
                continue;
            }
            const cg::Point at{x, y};
            while (y < at.y + itemHeight) y += h;
            if (std::none_of(fixed.begin(), fixed.end(), [&](const cg::Point& f) { return overlaps(at, f); })) {
                out.push_back(at);
                break;
            }
        }
    }
    return out;
}

void KeyFileIconSource::pcmanfmSort(std::vector<Entry>& entries, const std::string& sort) {
    std::vector<std::string> words;
    for (size_t from = 0; from <= sort.size();) {
        const size_t to = std::min(sort.find(';', from), sort.size());
        words.push_back(sort.substr(from, to - from));
        from = to + 1;
    }
    const bool byTime = !words.empty() && words[0] == "mtime";
    const bool descending = std::find(words.begin(), words.end(), "descending") != words.end();
    const bool mingle = std::find(words.begin(), words.end(), "mingle") != words.end();
    struct Keyed {
        Entry entry;
        std::string collated;
    };
    std::vector<Keyed> keyed;
    for (Entry& e : entries) {
        g_autofree gchar* k = g_utf8_collate_key_for_filename(e.name.c_str(), -1);
        keyed.push_back({std::move(e), k});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (!mingle && a.entry.folder != b.entry.folder) return a.entry.folder;
        // Entries written within the same second keep the order of their names.
        if (byTime && a.entry.mtime != b.entry.mtime)
            return descending ? a.entry.mtime > b.entry.mtime : a.entry.mtime < b.entry.mtime;
        return descending ? a.collated > b.collated : a.collated < b.collated;
    });
    entries.clear();
    for (Keyed& k : keyed) entries.push_back(std::move(k.entry));
}

FinderResult KeyFileIconSource::pcmanfm() {
    const auto profile = pcmanfmProfile();
    if (!profile) return failure("no profile with desktop-items-0.conf in " + options_.configHome + "/pcmanfm");
    const std::string libfm = options_.configHome + "/libfm/libfm.conf";
    PcmanfmCells cells;
    if (const auto v = SettingsLookup::keyFile(libfm, "ui", "big_icon_size"))
        if (const auto n = SettingsLookup::sizeIn(*v, DeskLayout::minIconSize, DeskLayout::maxIconSize, libfm,
                                                  "[ui] big_icon_size"))
            cells.icon = *n;
    const std::string first = *profile + "/desktop-items-0.conf";
    // The desktop's own settings live in the first monitor's file, in the group "*".
    const std::string font = SettingsLookup::keyFile(first, "*", "desktop_font").value_or("Sans 12");
    double points = 12;
    if (const size_t space = font.find_last_of(' '); space != std::string::npos)
        if (const auto n = SettingsLookup::number(font.substr(space + 1)))
            points = *n;
    if (points * 96 / 72 < DeskLayout::minTextSize || points * 96 / 72 > DeskLayout::maxTextSize) {
        SettingsLookup::refuse(first, "[*] desktop_font", font, "not a font size PCManFM can draw");
        points = 12;
    }
    cells.fontHeight = pcmanfmFontHeight(points);

    DeskLayout out;
    out.iconSize = cells.icon;
    out.textSize = points * 96 / 72;
    std::vector<cg::Point> fixedCorners;
    std::set<std::string> placed;
    bool any = false;
    for (size_t monitor = 0; monitor < options_.monitors.size(); ++monitor) {
        const std::string file = *profile + "/desktop-items-" + std::to_string(monitor) + ".conf";
        g_autoptr(GKeyFile) kf = g_key_file_new();
        g_autoptr(GError) error = nullptr;
        if (!g_key_file_load_from_file(kf, file.c_str(), G_KEY_FILE_NONE, &error)) {
            if (g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT)) continue;  // a monitor without user-placed icons
            return failure(file + ": " + error->message);
        }
        any = true;
        const cg::Point origin = options_.monitors[monitor];
        g_auto(GStrv) groups = g_key_file_get_groups(kf, nullptr);
        for (gchar** g = groups; *g; ++g) {
            if (std::string(*g) == "*") continue;  // the desktop's settings
            const auto x = keyNumber(kf, *g, "x"), y = keyNumber(kf, *g, "y");
            if (!x || !y) continue;
            // x and y are the top-left corner of the icon's cell in that monitor's workarea.
            const cg::Point c = cells.center(*x, *y);
            out.centers.push_back({origin.x + c.x, origin.y + c.y});
            if (monitor == 0) {
                fixedCorners.push_back({*x, *y});
                placed.insert(*g);
            }
        }
    }
    if (!any) return failure("no desktop-items file in " + *profile);

    // The icons nobody placed: PCManFM lays them out on the first monitor, in the order of its sort.
    if (!options_.desktop.empty()) {
        std::vector<Entry> entries;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(options_.desktop, ec)) {
            const std::string n = e.path().filename().string();
            if (n.empty() || n[0] == '.' || placed.count(n)) continue;
            struct stat st {};
            if (::stat(e.path().c_str(), &st) != 0) continue;
            entries.push_back({n, S_ISDIR(st.st_mode), static_cast<long long>(st.st_mtime)});
        }
        pcmanfmSort(entries, SettingsLookup::keyFile(first, "*", "sort").value_or("mtime;ascending;"));
        // The trash comes before the files when shown, as it is unless turned off.
        const bool trash = SettingsLookup::keyFile(first, "*", "show_trash").value_or("1") != "0";
        const size_t count = entries.size() + (trash && !placed.count("trash:///") ? 1 : 0);
        const cg::Point origin = options_.monitors.empty() ? cg::Point{} : options_.monitors.front();
        for (const cg::Point& corner : pcmanfmFlow(count, cells, options_.workarea.height, fixedCorners)) {
            const cg::Point c = cells.center(corner.x, corner.y);
            out.centers.push_back({origin.x + c.x, origin.y + c.y});
        }
    }
    return out;
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
