// Kept for its includers: the NCT6776F classes are declared with their family's.
#pragma once

#include "NuvotonChips.h"
