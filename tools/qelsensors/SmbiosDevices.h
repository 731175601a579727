// The hardware-monitor part of `qelsensors smbios`: each management device of the table with the
// sensors the library ties to it, and the machine model the BIOS version names.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

class CPOSSystem;
class CRawSMBios;

namespace QelTool
{
// "Falcon (K5), hardware monitor driver internal_it5571", or "unsupported". Feeds the version to
// the library's machine-model object, as the chip manager does.
std::string DescribeMachineModel(const std::string& biosVersion);
// "Falcon", "Amber / Coral", ... for the model the system's BIOS version names; null for none.
const char* MachineModelName(const CPOSSystem& system);

// One section per Type 34 structure, in table order, each listing its sensors in the order of
// their Management Device Components, with values in the units of their structures.
void PrintManagementDevices(FILE* out, CRawSMBios& raw);
// The same, as a JSON array; values in volts, degrees C and RPM, null where unknown.
nlohmann::ordered_json ManagementDevicesJson(CRawSMBios& raw);

// The probes and cooling devices that no management device of the table claims, in table order,
// with their own values: a strange table shows what its firmware describes. Nothing when all are.
void PrintUnclaimedSensors(FILE* out, CRawSMBios& raw);
// The same, as a JSON array of sensors (a cooling device's name is null: only Type 35 names it).
nlohmann::ordered_json UnclaimedSensorsJson(CRawSMBios& raw);
}  // namespace QelTool
