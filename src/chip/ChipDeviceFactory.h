// Picks and constructs the driver of one SMBIOS Management Device (Type 34) by its description.
#pragma once

class CChipDevice;
class CChipManager;
class CSMBiosChipData;

class CChipDeviceFactory
{
public:
    // A new driver (owned by the caller) for the Type 34 record at index, or null when there is
    // no such record or no driver for its description.
    static CChipDevice* CreateInstance(CChipManager* pChipManager, CSMBiosChipData& chipData, int index);
};
