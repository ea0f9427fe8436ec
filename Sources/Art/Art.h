#pragma once
// The painter of one render. (Grows with the painter base.)

#include "Renderer/Random.h"

namespace art_detail {}
