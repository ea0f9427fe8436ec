#pragma once
// Icon positions kept as gvfs metadata on the entries of the Desktop directory, as the GNOME Shell desktop
// icons extension, Nemo and Caja keep them. All entries are read in one enumeration.

#include <optional>
#include <string>
#include <vector>

#include "Finder/IconLayoutSource.h"
#include "Platform/Graphics/Geometry.h"

class GvfsIconSource : public IconLayoutSource {
public:
    enum class Manager { desktopIcons, nemo, caja };

    struct Options {
        std::string desktop;     // the Desktop directory
        std::string configHome;  // $XDG_CONFIG_HOME: Nemo's and Caja's desktop-metadata live below it
        // Device pixels per point; 0 takes the session's scaling factor (1 where it has none).
        double scale = 0;
        // Nemo stores positions per monitor: the top-left corner of each monitor in global device pixels.
        // A position on a monitor not listed here is left out.
        std::vector<cg::Point> monitors{{0, 0}};
        // The icons the desktop icons extension shows beside the Desktop's entries, as URIs: the home
        // folder and the trash, where its settings show them. Its own where unset.
        std::optional<std::vector<std::string>> specials;
    };

    // The home folder and the trash, each where the extension's settings (or their defaults) show it.
    static std::vector<std::string> desktopIconsSpecials();

    GvfsIconSource(Manager manager, Options options);

    // The metadata key that holds the manager's "x,y" positions.
    static std::string attribute(Manager manager);

    std::string name() const override;
    FinderResult layout() override;
    PrefValue drawsDesktop() override;
    std::unique_ptr<SourceWatch> watch(std::function<void()> changed) override;

    // The manager's icon size in points, from its settings or its own default.
    double iconSize() const;
    // The label text size in points from the manager's font, or nothing where it sets none.
    std::optional<double> textSize() const;

private:
    double scale() const;
    // The stored "x,y" of one file, read on its own (the home folder, the trash); nothing when unset.
    static std::optional<std::string> storedPosition(const std::string& uri, const std::string& key);
    // The icon centre in global points for one stored position, or nothing when it cannot be placed.
    std::optional<cg::Point> center(double x, double y, long monitor, double icon, double cellWidth,
                                    double scale) const;

    Manager manager_;
    Options options_;
};
