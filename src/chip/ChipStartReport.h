// What the chip manager found on its last pass: where its start-up stopped, which Management
// Device each device index is and the factory's or the driver's verdict on each, and how far the
// latest reading of the event log got, with its events. For the library's own tools (qelsensors
// explains a failed start or log from it, and counts the events); not part of the exported
// interface.
#pragma once

#include "EventLogContainer.h"
#include "PortBackend.h"
#include "RawSMBios.h"
#include "SMBiosChipData.h"
#include "SensorInterface.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CChip;

struct ChipDeviceStart
{
    uint32_t device = 0;     // the device index of the sensor handles
    CSMBios_TYPE34 board;    // the Management Device the driver was made for
    bool hasDriver = false;  // the factory had a driver for its description
    // SS_NO_DRIVER from the factory, otherwise what the driver's Initialise returned.
    SENSOR_STATUS status = SS_SUCCESS;
    // The kernel driver that holds the chip's ports, when that is why it did not start.
    std::optional<PortClaim> kernelClaim;
    // The kernel driver a started chip is read through; empty: the ports.
    std::string readThrough;
    // Why the kernel's driver could not stand in where the ports could not be used.
    std::string kernelProblem;
};

struct ChipStartReport
{
    // The start-up's steps, in order.
    enum class Step
    {
        NotStarted,
        SMBiosTable,        // the entry point and the table copy
        BiosInformation,    // the BIOS version (Type 0)
        Model,              // the version names a supported model
        HwMonDriver,        // the model's kernel hwmon driver, where it uses one
        ManagementDevices,  // at least one Management Device (Type 34)
        Devices,            // a driver per device, each initialised
        Started,
    };

    Step reached = Step::NotStarted;  // the step that failed, or Started
    SENSOR_STATUS status = SS_NOT_INITIALISED;
    // Every device tried, in device-index order; after a failure at Devices the last one failed
    // (and no device is kept).
    std::vector<ChipDeviceStart> devices;
    // Where the SMBIOS table came from.
    SMBiosSource tableSource = SMBiosSource::None;
    // The event log's latest reading: of the start-up, of the last GetSystemEventLog or of
    // ReadEventLogWithoutChips, whichever came last.
    EventLogReport eventLog;
};

// The report of the chip's last Initialise, and of its latest event log reading.
const ChipStartReport& StartReportOf(const CChip& chip);

// The event log read and decoded afresh where CChip::GetSystemEventLog has none: on a till the
// library does not support, or when the log could not be read as the chips started. No sensor
// record is at hand, so limit events name their probe by handle only. Fills the report's
// eventLog.
SENSOR_STATUS ReadEventLogWithoutChips(CChip& chip, CSystemEventLog& log);

// The event log of an area copied elsewhere (a capture) from the given address, with the Type 15
// structure and the sensors of the table under the system root, decoded as a started till's
// would be; nothing is read of physical memory. A Type 15 structure that does not name this area
// stops the reading at the Area step.
SENSOR_STATUS DecodeEventLogArea(uint32_t address, const std::vector<uint8_t>& area, CSystemEventLog& log,
                                 EventLogReport& report);
