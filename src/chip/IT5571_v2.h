// Kept for its includers: the IT5571 (second generation) classes are declared with their family's.
#pragma once

#include "IteChips.h"
