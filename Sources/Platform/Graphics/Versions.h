#pragma once
// The versions of the libraries that decide the pictures' bytes, as the process runs them.

#include <string>

namespace cg {

// "cairo 1.16.0, pixman 0.42.2": the drawing libraries loaded at run time.
std::string drawingLibraries();

}  // namespace cg
