#include "Platform/Graphics/Versions.h"

#include <cairo.h>
#include <pixman.h>

namespace cg {

std::string drawingLibraries() {
    return std::string("cairo ") + cairo_version_string() + ", pixman " + pixman_version_string();
}

}  // namespace cg
