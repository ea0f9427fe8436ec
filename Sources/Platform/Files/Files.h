#pragma once
// Reading files whose place anyone can put something else at: a FIFO, a device, a directory, a symlink
// loop or a file of gigabytes. Nothing here blocks on an open or a read, nothing throws, and a failure
// comes with the system's own words for it.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace files {

// The whole of a regular file of at most `maxBytes` bytes. Nothing when it is missing, not a regular file,
// larger than `maxBytes` or cannot be read; `error`, when given, then says why in one phrase ("No such file
// or directory", "not a regular file", "larger than 1048576 bytes"), and is cleared on success.
std::optional<std::string> readRegular(const std::string& path, std::size_t maxBytes, std::string* error = nullptr);

// True when the failure `readRegular` reported was only that nothing is at the path.
bool missing(const std::string& error);

// Whether something, a dangling symlink included, may be at the path: false only when the system says for
// certain that nothing is (ENOENT, ENOTDIR). A path that cannot be looked at (a symlink loop, a directory
// without search permission) counts as there.
bool mayExist(const std::string& path);

// The arguments process `pid` was started with (/proc/PID/cmdline), each without its NUL. Empty when the
// process does not exist, has ended (a zombie keeps no arguments) or cannot be read: processes end
// while they are read, and that is never an error.
std::vector<std::string> commandLine(long pid);

}  // namespace files
