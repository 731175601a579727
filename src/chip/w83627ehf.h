// Kept for its includers: the W83627DHG-P/-PT classes are declared with their family's.
#pragma once

#include "NuvotonChips.h"
