// Kept for its includers: the NCT6796D classes are declared with their family's.
#pragma once

#include "NuvotonChips.h"
