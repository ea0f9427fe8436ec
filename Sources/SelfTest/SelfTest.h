#pragma once
// The built-in self-test: renders every scene by day and by night on a fixed sample desktop, checks the
// renderer's contract and the stability of the picture when icons move, and optionally writes previews;
// then checks the folder icons on sample folders (SelfTest/FolderIconCheck.h). The sample desktops
// themselves are in SelfTest/SampleDesktop.h.

#include <optional>
#include <stdexcept>
#include <string>

#include "Scene/SceneSpec.h"
#include "SelfTest/SampleDesktop.h"

namespace SelfTest {

// A picture that could not be written, or could not be made to be written: "writing <path>: <the system's
// reason>". The command line reports it and exits with status 1.
struct WriteFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Returns when every check has passed; a failed check prints one line on stderr naming it and aborts.
// The preview directory, when given, must exist; a preview that cannot be written throws WriteFailure.
void run(const std::optional<std::string>& previewDir);

// The checks the entry point makes before `run`: version comparisons and the desktop switch's readings.
void entryChecks();

// Writes the program's 1024 × 1024 icon as a PNG: a tile of the archipelago by day with three stand-in
// icons. Throws WriteFailure when it cannot.
void icon(const std::string& path);

}  // namespace SelfTest
