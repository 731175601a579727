// Kept for its includers: the NCT6106D classes are declared with their family's.
#pragma once

#include "NuvotonChips.h"
