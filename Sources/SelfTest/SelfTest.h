#pragma once
// The built-in self-test: renders every scene by day and by night on a fixed sample desktop, checks the
// renderer's contract and the stability of the picture when icons move, and optionally writes previews;
// then checks the folder icons on sample folders (SelfTest/FolderIconCheck.h).

#include <optional>
#include <stdexcept>
#include <string>

#include "Scene/SceneSpec.h"

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

// The sample desktop every check renders: 1710 × 1112 points at scale 2, 23 icons of 48 points with
// 10-point labels below them. Tests and benchmarks use the same desktop.
SceneSpec sampleDesktop(SceneKind kind, bool night);

// A scene's thumbnail: 640 × 400 points at scale 0.5 with four sample icons. The settings window and the
// status menu show these, and the self-test writes them with its previews.
SceneSpec thumbnail(SceneKind kind, bool night);

}  // namespace SelfTest
