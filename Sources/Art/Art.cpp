#include "Art/Art.h"
