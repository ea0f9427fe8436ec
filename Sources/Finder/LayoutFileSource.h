#pragma once
// The layout file for sessions whose icon manager keeps no positions we can read:
// $XDG_CONFIG_HOME/vistamere/desktop-icons.json, written by a helper or by hand:
//   {"centers": [[x, y], ...], "iconSize": 64, "textSize": 12, "labelPosition": "bottom",
//    "drawsDesktop": true}
// Centres are points in global Desktop coordinates (origin top left of the primary screen, y down).

#include <string>

#include "Finder/IconLayoutSource.h"

class LayoutFileSource : public IconLayoutSource {
public:
    // Larger files are refused rather than read into memory.
    static constexpr size_t maxBytes = 1 << 20;

    explicit LayoutFileSource(std::string path);
    // The file's place below a configuration directory ($XDG_CONFIG_HOME).
    static std::string pathIn(const std::string& configHome);

    std::string name() const override { return "layout file " + path_; }
    FinderResult layout() override;
    PrefValue drawsDesktop() override;
    std::unique_ptr<SourceWatch> watch(std::function<void()> changed) override;

private:
    std::string path_;
};
