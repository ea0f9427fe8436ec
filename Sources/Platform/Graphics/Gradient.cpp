#include "Platform/Graphics/Gradient.h"

#include <algorithm>
#include <cmath>

namespace cg {

Gradient::Gradient(std::vector<Color> colors, std::vector<double> locations) {
    const size_t n = locations.empty() ? colors.size() : std::min(colors.size(), locations.size());
    stops_.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        double at;
        if (locations.empty()) {
            at = n == 1 ? 0.0 : static_cast<double>(i) / static_cast<double>(n - 1);
        } else {
            at = std::isfinite(locations[i]) ? std::clamp(locations[i], 0.0, 1.0) : 0.0;
        }
        stops_.push_back({at, colors[i]});
    }
}

}  // namespace cg
