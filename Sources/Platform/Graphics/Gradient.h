#pragma once
// Colour stops for linear and radial gradients. Locations are in [0, 1] and ascending.

#include "Platform/Graphics/Color.h"

#include <vector>

namespace cg {

struct GradientOptions {
    bool drawsBeforeStart = false;  // extend the first colour before the start point / circle
    bool drawsAfterEnd = false;     // extend the last colour after the end point / circle
};

class Gradient {
public:
    struct Stop {
        double location = 0;
        Color color;
    };

    Gradient() = default;
    // Pairs colours with locations; without locations the colours are spread evenly over [0, 1].
    // Extra colours or locations are ignored.
    Gradient(std::vector<Color> colors, std::vector<double> locations = {});

    const std::vector<Stop>& stops() const { return stops_; }
    bool isEmpty() const { return stops_.empty(); }

private:
    std::vector<Stop> stops_;
};

}  // namespace cg
