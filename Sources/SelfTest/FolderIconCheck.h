#pragma once
// The self-test's folder icon check: the real folder icon back end (gvfs metadata and user extended
// attributes) on a scratch directory of sample folders, through a sequence of scene changes.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace SelfTest {

// Paints, repaints and puts back the icons of "plain", "custom", "tagged", "emoji", "Thing.app" and
// "repo/.git" in "vistamere-selftest-<pid>", then prints "folder icons ok" and removes the directory. The
// directory is made in the temporary directory, or under $XDG_CACHE_HOME when that keeps no user extended
// attributes. Without gvfs metadata the check fails and says so; it never passes without having run.
void folderIcons();

// Makes a fresh directory `name` in the first of `parents` whose file system keeps user extended attributes
// and returns it; none when no parent does, with every parent's reason in `why`.
std::optional<std::filesystem::path> scratchDirectory(const std::vector<std::filesystem::path>& parents,
                                                      const std::string& name, std::string& why);

}  // namespace SelfTest
