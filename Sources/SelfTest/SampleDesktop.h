#pragma once
// The fixed sample desktops the self-test, the previews and the thumbnails render on.

#include "Scene/SceneSpec.h"

namespace SelfTest {

// The sample desktop's size in points.
inline constexpr double kSampleWidth = 1710, kSampleHeight = 1112;

// The sample desktop every check renders: 1710 × 1112 points at scale 2, 23 icons of 48 points with
// 10-point labels below them. Tests and benchmarks use the same desktop.
SceneSpec sampleDesktop(SceneKind kind, bool night);

// A scene's thumbnail: 640 × 400 points at scale 0.5 with four sample icons. The settings window and the
// status menu show these, and the self-test writes them with its previews.
SceneSpec thumbnail(SceneKind kind, bool night);

}  // namespace SelfTest
