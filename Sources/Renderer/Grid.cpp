#include "Renderer/Grid.h"

Grid::Grid(int64_t c, int64_t r, float fill)
    : cols(c), rows(r), p(static_cast<std::size_t>(c > 0 && r > 0 ? c * r : 0), fill) {}
