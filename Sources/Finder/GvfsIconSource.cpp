#include "Finder/GvfsIconSource.h"

#include <gio/gio.h>

#include <cmath>
#include <optional>

#include "Finder/GioWatch.h"
#include "Finder/SettingsLookup.h"

namespace {


// The icon sizes of the desktop icons extension and its cell widths, by its size names.
struct Cell {
    const char* name;
    double icon;
    double width;
};
constexpr Cell desktopIconCells[] = {{"tiny", 36, 70}, {"small", 48, 90}, {"standard", 64, 120}, {"large", 96, 130}};

// Nemo's and Caja's zoom levels, smallest to largest, in points.
constexpr double zoomSizes[] = {16, 24, 32, 48, 72, 96, 192};
constexpr const char* zoomNames[] = {"smallest", "smaller", "small", "standard", "large", "larger", "largest"};

std::optional<double> zoomSize(const std::optional<std::string>& level) {
    if (!level) return std::nullopt;
    if (const auto n = SettingsLookup::integer(*level); n && *n >= 0 && *n < 7) return zoomSizes[*n];
    for (int i = 0; i < 7; ++i)
        if (*level == zoomNames[i]) return zoomSizes[i];
    return std::nullopt;
}

const Cell& desktopIconCell() {
    const PrefValue v = SettingsLookup::gsettings("org.gnome.shell.extensions.ding", "icon-size");
    if (const auto* name = std::get_if<std::string>(&v))
        for (const Cell& c : desktopIconCells)
            if (*name == c.name) return c;
    return desktopIconCells[2];
}

// "x,y" as the managers write it; nothing when either part is not a finite number.
std::optional<cg::Point> position(const std::string& text) {
    const auto comma = text.find(',');
    if (comma == std::string::npos) return std::nullopt;
    const auto x = SettingsLookup::number(text.substr(0, comma)), y = SettingsLookup::number(text.substr(comma + 1));
    if (!x || !y || !std::isfinite(*x) || !std::isfinite(*y)) return std::nullopt;
    return cg::Point{*x, *y};
}

}  // namespace

std::vector<std::string> GvfsIconSource::desktopIconsSpecials() {
    // Both are shown unless switched off; a missing schema means the extension is not installed.
    auto shown = [](const char* key) {
        const PrefValue v = SettingsLookup::gsettings("org.gnome.shell.extensions.ding", key);
        const auto* on = std::get_if<bool>(&v);
        return !on || *on;
    };
    std::vector<std::string> out;
    if (shown("show-home")) {
        g_autoptr(GFile) home = g_file_new_for_path(g_get_home_dir());
        g_autofree char* uri = g_file_get_uri(home);
        out.emplace_back(uri);
    }
    if (shown("show-trash")) out.emplace_back("trash:///");
    return out;
}

std::optional<std::string> GvfsIconSource::storedPosition(const std::string& uri, const std::string& key) {
    g_autoptr(GFile) file = g_file_new_for_uri(uri.c_str());
    g_autoptr(GFileInfo) info = g_file_query_info(file, key.c_str(), G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    if (!info) return std::nullopt;
    std::optional<std::string> out;
    if (g_file_info_get_attribute_type(info, key.c_str()) == G_FILE_ATTRIBUTE_TYPE_STRING)
        if (const char* v = g_file_info_get_attribute_string(info, key.c_str()); v && *v) out = v;
    return out;
}

GvfsIconSource::GvfsIconSource(Manager manager, Options options)
    : manager_(manager), options_(std::move(options)) {}

std::string GvfsIconSource::attribute(Manager manager) {
    switch (manager) {
    case Manager::desktopIcons: return "metadata::nautilus-icon-position";
    case Manager::nemo: return "metadata::nemo-icon-position";
    case Manager::caja: return "metadata::caja-icon-position";
    }
    return {};
}

std::string GvfsIconSource::name() const {
    switch (manager_) {
    case Manager::desktopIcons: return "gvfs metadata (desktop icons extension)";
    case Manager::nemo: return "gvfs metadata (Nemo)";
    case Manager::caja: return "gvfs metadata (Caja)";
    }
    return "gvfs metadata";
}

double GvfsIconSource::scale() const {
    if (options_.scale > 0) return options_.scale;
    const PrefValue v = SettingsLookup::gsettings("org.gnome.desktop.interface", "scaling-factor");
    if (const auto* n = std::get_if<double>(&v); n && *n >= 1) return *n;
    return 1;
}

double GvfsIconSource::iconSize() const {
    switch (manager_) {
    case Manager::desktopIcons: return desktopIconCell().icon;
    case Manager::nemo:
        return zoomSize(SettingsLookup::keyFile(options_.configHome + "/nemo/desktop-metadata", "desktop-monitor-0",
                                                "nemo-icon-view-zoom-level"))
            .value_or(48);
    case Manager::caja:
        return zoomSize(SettingsLookup::keyFile(options_.configHome + "/caja/desktop-metadata", "directory",
                                                "caja-icon-view-zoom-level"))
            .value_or(48);
    }
    return 64;
}

std::optional<double> GvfsIconSource::textSize() const {
    auto font = [](const char* schema, const char* key) {
        return SettingsLookup::fontPixels(SettingsLookup::gsettings(schema, key));
    };
    switch (manager_) {
    case Manager::desktopIcons: {
        // The extension labels with the interface font, scaled like all text of the session.
        const auto px = font("org.gnome.desktop.interface", "font-name");
        const PrefValue factor = SettingsLookup::gsettings("org.gnome.desktop.interface", "text-scaling-factor");
        const auto* f = std::get_if<double>(&factor);
        if (px && f && *f > 0) return *px * *f;
        return px;
    }
    case Manager::nemo: return font("org.nemo.desktop", "font");
    case Manager::caja: {
        const auto own = font("org.mate.caja.desktop", "font");
        return own ? own : font("org.mate.interface", "font-name");
    }
    }
    return std::nullopt;
}

std::optional<cg::Point> GvfsIconSource::center(double x, double y, long monitor, double icon, double cellWidth,
                                                double s) const {
    switch (manager_) {
    case Manager::desktopIcons:
        // The extension stores the top-left corner of the icon's cell; the real extension (GNOME 43) draws
        // the icon centred across the cell, 2 pixels right of that corner, and 4 pixels below it.
        return cg::Point{(x + 2) / s + cellWidth / 2, (y + 4) / s + icon / 2};
    case Manager::nemo: {
        // Per monitor: the top-left corner of the icon in that monitor's desktop window.
        if (monitor < 0 || static_cast<size_t>(monitor) >= options_.monitors.size()) return std::nullopt;
        const cg::Point origin = options_.monitors[static_cast<size_t>(monitor)];
        return cg::Point{(origin.x + x) / s + icon / 2, (origin.y + y) / s + icon / 2};
    }
    case Manager::caja:
        // The top-left corner of the icon on the whole screen.
        return cg::Point{x / s + icon / 2, y / s + icon / 2};
    }
    return std::nullopt;
}

FinderResult GvfsIconSource::layout() {
    const std::string key = attribute(manager_);
    g_autoptr(GFile) desktop = g_file_new_for_path(options_.desktop.c_str());
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFileEnumerator) entries = g_file_enumerate_children(
        desktop, "standard::name,standard::is-hidden,metadata::*", G_FILE_QUERY_INFO_NONE, nullptr, &error);
    if (!entries)
        return FinderError{name(), FinderError::unavailable, name() + ": cannot list " + options_.desktop + ": " + error->message};

    const double icon = iconSize(), s = scale(), cellWidth = desktopIconCell().width;
    DeskLayout out;
    bool broken = false;
    for (;;) {
        g_autoptr(GFileInfo) info = g_file_enumerator_next_file(entries, nullptr, &error);
        if (!info) {
            if (error) broken = true;
            break;
        }
        const char* stored = g_file_info_get_attribute_type(info, key.c_str()) == G_FILE_ATTRIBUTE_TYPE_STRING
                                 ? g_file_info_get_attribute_string(info, key.c_str())
                                 : nullptr;
        // The managers show no hidden entries, and place those without a stored position themselves.
        if (stored && !g_file_info_get_is_hidden(info)) {
            const auto p = position(stored);
            long monitor = 0;
            if (manager_ == Manager::nemo &&
                g_file_info_get_attribute_type(info, "metadata::monitor") == G_FILE_ATTRIBUTE_TYPE_STRING) {
                const auto m = SettingsLookup::integer(g_file_info_get_attribute_string(info, "metadata::monitor"));
                monitor = m.value_or(-1);
            }
            // A position that is not two numbers is skipped, as the manager places that icon itself.
            if (p)
                if (const auto c = center(p->x, p->y, monitor, icon, cellWidth, s)) out.centers.push_back(*c);
        }
    }
    if (manager_ == Manager::desktopIcons) {
        // The home folder and the trash keep their positions on themselves; the extension stores a
        // position for every icon it places, so one it has not stored yet is one it has not shown yet.
        for (const std::string& uri : options_.specials ? *options_.specials : desktopIconsSpecials()) {
            const auto stored = storedPosition(uri, key);
            if (!stored) continue;
            if (const auto p = position(*stored))
                if (const auto c = center(p->x, p->y, 0, icon, cellWidth, s)) out.centers.push_back(*c);
        }
    }
    if (broken)
        return FinderError{name(), FinderError::unavailable,
                           name() + ": listing " + options_.desktop + " failed: " + error->message};
    out.iconSize = icon;
    if (const auto text = textSize()) out.textSize = *text;
    return out;
}

PrefValue GvfsIconSource::drawsDesktop() {
    switch (manager_) {
    case Manager::desktopIcons: return {};  // the extension draws while it runs
    case Manager::nemo: return SettingsLookup::gsettings("org.nemo.desktop", "show-desktop-icons");
    case Manager::caja: return SettingsLookup::gsettings("org.mate.background", "show-desktop-icons");
    }
    return {};
}

std::unique_ptr<SourceWatch> GvfsIconSource::watch(std::function<void()> changed) {
    auto w = std::make_unique<GioWatch>(std::move(changed));
    w->directory(options_.desktop);
    w->metadata();
    if (manager_ == Manager::nemo) w->file(options_.configHome + "/nemo/desktop-metadata");
    if (manager_ == Manager::caja) w->file(options_.configHome + "/caja/desktop-metadata");
    return w;
}
