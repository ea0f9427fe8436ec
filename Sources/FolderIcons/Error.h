#pragma once
// Why a folder icon operation failed: where the code comes from and the code itself, with a line for people.

#include <string>
#include <utility>

namespace FolderIcons {

struct Error {
    enum class Domain {
        posix,        // code is an errno value
        gio,          // code is a GIOErrorEnum value
        folderIcons,  // code is one of the Code values below
    };
    enum Code : int {
        unsupported = 1,      // no gvfs metadata or no user extended attributes: nothing can be done
        unsafeDirectory = 2,  // the directory is the home folder or the root, never painted
        unstable = 3,         // an attribute kept changing while it was read
    };

    Domain domain = Domain::folderIcons;
    int code = 0;
    std::string reason;

    static Error posix(int err, std::string reason) { return {Domain::posix, err, std::move(reason)}; }
    static Error own(Code c, std::string reason) { return {Domain::folderIcons, c, std::move(reason)}; }
};

}  // namespace FolderIcons
