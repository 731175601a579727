#include "ChipDeviceFactory.h"

#include "ChipTable.h"
#include "IteChips.h"
#include "NuvotonChips.h"
#include "SMBiosChipData.h"
#include "log.h"

#include <cstdint>
#include <string>

namespace
{
using Creator = CChipDevice* (*)(CChipManager*, const std::string&, uint32_t, uint32_t, uint16_t);

template <class Driver>
CChipDevice* Create(CChipManager* pChipManager, const std::string& description, uint32_t dwAddress,
                    uint32_t dwAddressType, uint16_t wSMBiosHandle)
{
    return new Driver(pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle);
}

struct DriverClass
{
    Chip chip;
    Creator create;
};

// The descriptions that select each class and the words of its message are in its chip's row;
// the two W83627DHG packages share a driver, the two ITE firmware generations do not.
const DriverClass kDriverClasses[] = {
    {Chip::NCT6106, &Create<NCT6106>},     {Chip::NCT6776, &Create<NCT6776>},
    {Chip::NCT6793D, &Create<NCT6793D>},   {Chip::NCT6796D, &Create<NCT6796D>},
    {Chip::W83627EHF, &Create<w83627ehf>}, {Chip::IT5571, &Create<IT5571>},
    {Chip::IT5571_v2, &Create<IT5571_v2>},
};
}  // namespace

CChipDevice* CChipDeviceFactory::CreateInstance(CChipManager* pChipManager, CSMBiosChipData& chipData,
                                                int index)
{
    if (index < 0 || static_cast<size_t>(index) >= chipData.m_vDevices.size() ||
        chipData.m_vDevices[static_cast<size_t>(index)] == nullptr)
    {
        Log(LOG_ERROR, "CChipDeviceFactory::CreateInstance - No device at chip data index=%d", index);
        return nullptr;
    }
    const CSMBios_TYPE34& device = *chipData.m_vDevices[static_cast<size_t>(index)];
    const std::string description = device.strDescription;
    const uint32_t dwAddress = device.dwAddress;
    const uint32_t dwAddressType = device.byAddressType;
    const uint16_t wSMBiosHandle = device.wHandle;
    Log(LOG_DEBUG, "CChipDeviceFactory::CreateInstance - Type 34 Device at index=%d", index);
    Log(LOG_DEBUG, "  Description:   %s", description.c_str());
    Log(LOG_DEBUG, "  Address:       0x%08x", dwAddress);
    Log(LOG_DEBUG, "  Addr Type:     %d", dwAddressType);
    Log(LOG_DEBUG, "  SMBIOS Handle: 0x%04x", wSMBiosHandle);

    // A description is whole and case-sensitive; no two rows share one.
    for (const DriverClass& driver : kDriverClasses)
    {
        for (const SmbiosName& name : ChipRow(driver.chip).smbiosNames)
        {
            if (name.description == nullptr || description != name.description)
                continue;
            CChipDevice* pDevice =
                driver.create(pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle);
            Log(LOG_DEBUG, "CChipDeviceFactory::CreateInstance - Instantiated %s driver 0x%08x",
                name.factoryWords, static_cast<unsigned>(reinterpret_cast<uintptr_t>(pDevice)));
            return pDevice;
        }
    }
    Log(LOG_ERROR, "CChipDeviceFactory::CreateInstance - No description name found for driver %s\n",
        description.c_str());
    return nullptr;
}
