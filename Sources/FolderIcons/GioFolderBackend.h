#pragma once
// The folder icon back end of a Linux desktop: the icon is a PNG of ours set on the folder as the gvfs
// metadata::custom-icon (honoured by the GIO file managers and desktop icon views), the marker a user
// extended attribute, labels the metadata emblems or the user.xdg.tags attribute. Needs the gvfs metadata
// service on a session bus and a file system with user extended attributes; without them `probe` says why.

#include "FolderIcons/FolderBackend.h"

#include <filesystem>
#include <string>

namespace FolderIcons {

class GioFolderBackend final : public FolderBackend {
public:
    // Icon files are written into `iconDirectory`, named by scene and content digest, so a file never
    // changes once a folder refers to it.
    explicit GioFolderBackend(std::filesystem::path iconDirectory);
    // $XDG_DATA_HOME/vistamere/folder-icons
    static std::filesystem::path defaultIconDirectory();

    std::optional<Error> probe(const std::filesystem::path& dir) override;
    Found<std::vector<Entry>> list(const std::filesystem::path& dir) override;
    Found<Bytes> attribute(const std::filesystem::path& path, const std::string& name) override;
    std::optional<Error> setAttribute(const std::filesystem::path& path, const std::string& name,
                                      const Bytes& value) override;
    std::optional<Error> removeAttribute(const std::filesystem::path& path, const std::string& name) override;
    Found<Metadata> metadata(const std::filesystem::path& folder) override;
    Found<Bytes> iconBytes(const std::string& uri) override;
    Found<bool> exists(const std::filesystem::path& path) override;
    std::optional<Error> setIcon(const std::filesystem::path& folder, const IconFile& icon) override;
    std::optional<Error> removeIcon(const std::filesystem::path& folder) override;
    void pause(std::chrono::milliseconds duration) override;

    // Icon files larger than this are not ours and are not read to be compared.
    static constexpr size_t largestIcon = 16u << 20;

private:
    // The URI of the stored icon file, writing it when it is not there yet.
    Found<std::string> store(const IconFile& icon);

    std::filesystem::path iconDirectory_;
};

}  // namespace FolderIcons
