#pragma once
// PCManFM's and PCManFM-Qt's wallpaper: set through the running program (`--set-wallpaper`), read
// back from its profile's configuration, since the program has no way to tell it. One picture for
// every monitor.

#include "Platform/Desktop/Wallpaper.h"

#include <functional>

class PcmanfmWallpaper final : public Wallpaper {
public:
    // Runs a command line and answers whether it succeeded.
    using Runner = std::function<bool(const std::vector<std::string>&)>;

    // `program` is "pcmanfm" or "pcmanfm-qt", `arguments` its command line (for --profile). Nothing
    // when the program is neither. The runner spawns the program when empty.
    static std::unique_ptr<PcmanfmWallpaper> make(const std::string& program, const std::vector<std::string>& arguments,
                                                  const std::string& stateDir, const std::string& pictureDir,
                                                  Runner run = {});
    ~PcmanfmWallpaper() override;

    bool show(const std::vector<Still>& stills) override;
    void restore() override;
    bool active() const override { return !saved_.empty(); }

    // The configuration file holding the wallpaper of a profile (under $XDG_CONFIG_HOME).
    static std::string configFile(const std::string& program, const std::vector<std::string>& arguments);

private:
    PcmanfmWallpaper(std::string program, std::string config, std::string stateFile, std::string pictureDir,
                     Runner run);
    // The wallpaper and its mode as the configuration has them now; nothing when unreadable.
    std::optional<Values> current() const;
    bool apply(const Values& values) const;
    // Takes our picture out of the configuration where the user had none.
    void forgetPicture() const;

    std::string program_, config_, stateFile_, pictureDir_;
    Runner run_;
    Values saved_;
};
