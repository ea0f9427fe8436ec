#include "SelfTest/SampleDesktop.h"

#include <vector>

namespace SelfTest {
namespace {

std::vector<cg::Point> sampleIcons() {
    std::vector<cg::Point> icons = {{1564, 67}, {1574, 180}};
    for (double y = 333; y <= 949; y += 88) {
        icons.push_back({1559, y});
        icons.push_back({1657, y});
    }
    for (cg::Point p : {cg::Point{971, 333}, cg::Point{971, 421}, cg::Point{971, 597}, cg::Point{971, 685},
                        cg::Point{420, 760}})
        icons.push_back(p);
    return icons;
}

}  // namespace

SceneSpec sampleDesktop(SceneKind kind, bool night) {
    SceneSpec s;
    s.size = {kSampleWidth, kSampleHeight};
    s.scale = 2;
    s.icons = sampleIcons();
    s.iconSize = 48;
    s.textSize = 10;
    s.labelsRight = false;
    s.kind = kind;
    s.night = night;
    return s;
}

SceneSpec thumbnail(SceneKind kind, bool night) {
    SceneSpec s;
    s.size = {640, 400};
    s.scale = 0.5;
    s.icons = {{150, 130}, {150, 218}, {430, 170}, {500, 290}};
    s.iconSize = 48;
    s.textSize = 10;
    s.kind = kind;
    s.night = night;
    return s;
}

}  // namespace SelfTest
