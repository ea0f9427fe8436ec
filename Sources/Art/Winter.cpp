#include "Art/Art.h"

// Not painted yet: the scene shows its terrain alone.
void Art::winter() {}
