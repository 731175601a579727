// A built-in point-of-sale machine: the image that demos, benchmarks and tool tests run against.
#pragma once

#include "MachineImage.h"
#include "SensorStructures.h"

#include <vector>

namespace QelSim
{
// Its BIOS Information (a Falcon till, so the machine type is "K5").
QelImage::BiosInformation SampleBiosInformation();

// Its board: the ITE IT5571 embedded controller that monitors the till, with its sensors in the
// order of their Management Device Components. The fan already names the handle its CPU
// temperature probe gets in the sample machine.
std::vector<BoardChip> SampleBoard();

// The whole machine, booted through the legacy BIOS or through UEFI.
QelImage::MachineImage SampleMachine(bool efi);
}  // namespace QelSim
