#pragma once
// Icon positions kept in key files, one group per Desktop entry: xfdesktop's grid cells
// (xfce4/desktop/icons.screen0-<W>x<H>.rc, keys row and col) and PCManFM's pixels per monitor
// (pcmanfm/<profile>/desktop-items-<n>.conf, keys x and y).

#include <optional>
#include <string>
#include <vector>

#include "Finder/IconLayoutSource.h"
#include "Platform/Graphics/Geometry.h"

class KeyFileIconSource : public IconLayoutSource {
public:
    enum class Manager { xfdesktop, pcmanfm };

    struct Options {
        std::string configHome;  // $XDG_CONFIG_HOME
        // PCManFM's profile; empty takes the profile whose positions were written last.
        std::string profile;
        // PCManFM keeps one file per monitor: the top-left corner of each, in global points. xfdesktop's
        // grid starts at the first one (the workarea's corner).
        std::vector<cg::Point> monitors{{0, 0}};
        // The Desktop directory: PCManFM lays out the icons nobody placed from it.
        std::string desktop;
        // The first monitor's workarea, where PCManFM starts a new column; zero when unknown: one column.
        cg::Size workarea{};
    };

    KeyFileIconSource(Manager manager, Options options);

    std::string name() const override;
    FinderResult layout() override;
    PrefValue drawsDesktop() override;
    std::unique_ptr<SourceWatch> watch(std::function<void()> changed) override;

    // xfdesktop's grid over a workarea whose size less the margins is width × height (the size in the
    // positions file's name), for an icon size.
    struct Grid {
        double cell = 0;                       // the side of a cell
        int rows = 0, columns = 0;
        double rowPitch = 0, columnPitch = 0;  // from one cell to the next
        double top = 0, left = 0;              // from the margin to the first cell
        // The centre of the icon in cell (row, col), relative to the workarea's corner.
        cg::Point center(long row, long col, double icon) const;
    };
    static Grid grid(int width, int height, double icon);

    // PCManFM's cells: `iconSize` and the line height of its desktop font set their size.
    struct PcmanfmCells {
        double icon = 48, fontHeight = 20;
        double width() const;
        double height() const;
        // From the top-left corner PCManFM keeps for an icon (x, y in its file) to the icon's centre.
        cg::Point center(double x, double y) const;
    };
    // The line height PCManFM gives its desktop font of `points` ("Sans 12" in its settings), measured
    // for the default Sans at 96 dots per inch.
    static double pcmanfmFontHeight(double points);
    // One Desktop entry as PCManFM sorts it.
    struct Entry {
        std::string name;
        bool folder = false;
        long long mtime = 0;  // seconds
    };
    // Where PCManFM puts the icons nobody placed: `entries` in its order, column by column from the
    // top left of a workarea of `height` points (0: no end), skipping the places of the `fixed` icons
    // (their kept corners). Returns the kept corners of the laid out icons, in the order of `entries`.
    static std::vector<cg::Point> pcmanfmFlow(size_t count, const PcmanfmCells& cells, double height,
                                              const std::vector<cg::Point>& fixed);
    // Sorts entries as PCManFM's "sort=" setting asks ("mtime;ascending;", "name;descending;mingle;").
    static void pcmanfmSort(std::vector<Entry>& entries, const std::string& sort);

private:
    FinderResult xfdesktop();
    FinderResult pcmanfm();
    // An error naming this source, its reason led by the name.
    FinderError failure(std::string reason) const;
    // The positions file in use (the one written last), or nothing when there is none.
    std::optional<std::string> xfdesktopFile() const;
    std::optional<std::string> pcmanfmProfile() const;
    std::optional<std::string> xfconf(const std::string& property) const;

    Manager manager_;
    Options options_;
};
