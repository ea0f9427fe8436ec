#pragma once
// How a line of text is set: the user interface's sans-serif face at a size in points, one line, cut in
// the middle with an ellipsis when it does not fit.

#include <string>

#include "Platform/Graphics/Color.h"

typedef struct _cairo cairo_t;

namespace cg {

enum class TextAlignment { left, center };

struct TextStyle {
    double size = 12;  // points of the context's user space
    Color color = Color::white();
    TextAlignment alignment = TextAlignment::center;
};

namespace detail {
// Lays out and shows `text` on `cr`, whose user space has its origin at the top left of a box `width`
// points wide, y growing downward. Cairo's source and operator are the caller's.
void showText(cairo_t* cr, const std::string& text, double width, const TextStyle& style);
}  // namespace detail

}  // namespace cg
