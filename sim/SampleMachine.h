// A built-in point-of-sale machine: the image that demos, benchmarks and tool tests run against.
#pragma once

#include "MachineImage.h"

namespace QelSim
{
// Its BIOS Information (a Falcon till, so the machine type is "K5").
BiosInformation SampleBiosInformation();

// The whole machine, booted through the legacy BIOS or through UEFI.
MachineImage SampleMachine(bool efi);
}  // namespace QelSim
