#pragma once
// The built-in self-test: renders every scene by day and by night on a fixed sample desktop, checks the
// renderer's contract and the stability of the picture when icons move, and optionally writes previews.

#include <optional>
#include <string>

namespace SelfTest {

// Returns when every check has passed; a failed check prints one line on stderr naming it and aborts.
// The preview directory, when given, must exist.
void run(const std::optional<std::string>& previewDir);

}  // namespace SelfTest
