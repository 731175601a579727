#include "ChipDeviceFactory.h"

#include "IT5571.h"
#include "IT5571_v2.h"
#include "NCT6106.h"
#include "NCT6776.h"
#include "NCT6793D.h"
#include "NCT6796D.h"
#include "SMBiosChipData.h"
#include "log.h"
#include "w83627ehf.h"

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

struct DriverName
{
    const char* description;  // the whole Type 34 description, case-sensitive
    Creator create;
    const char* message;
};

// Asked in this order; the first equal description decides. The two W83627DHG packages share a
// driver; the two ITE firmware generations do not.
const DriverName kDrivers[] = {
    {"Nuvoton W83627DHG-P", &Create<w83627ehf>,
     "CChipDeviceFactory::CreateInstance - Instantiated w83627ehf um driver 0x%08x"},
    {"Nuvoton NCT6106D", &Create<NCT6106>,
     "CChipDeviceFactory::CreateInstance - Instantiated internal Nuvoton NCT6106 um driver 0x%08x"},
    {"Nuvoton W83627DHG-PT", &Create<w83627ehf>,
     "CChipDeviceFactory::CreateInstance - Instantiated internal Nuvoton w83627ehf um driver 0x%08x"},
    {"Nuvoton NCT6793D", &Create<NCT6793D>,
     "CChipDeviceFactory::CreateInstance - Instantiated internal Nuvoton NCT6793D um driver 0x%08x"},
    {"Nuvoton NCT6776F", &Create<NCT6776>,
     "CChipDeviceFactory::CreateInstance - Instantiated internal Nuvoton NCT6776 um driver 0x%08x"},
    {"Nuvoton NCT6796D", &Create<NCT6796D>,
     "CChipDeviceFactory::CreateInstance - Instantiated internal Nuvoton NCT6796D um driver 0x%08x"},
    {"IT 5571", &Create<IT5571>,
     "CChipDeviceFactory::CreateInstance - Instantiated internal ITE IT5571E-256 driver 0x%08x"},
    {"ITE IT5571", &Create<IT5571_v2>,
     "CChipDeviceFactory::CreateInstance - Instantiated internal ITE IT5571E-256 driver 0x%08x"},
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

    for (const DriverName& driver : kDrivers)
    {
        if (description != driver.description)
            continue;
        CChipDevice* pDevice =
            driver.create(pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle);
        Log(LOG_DEBUG, driver.message, static_cast<unsigned>(reinterpret_cast<uintptr_t>(pDevice)));
        return pDevice;
    }
    Log(LOG_ERROR, "CChipDeviceFactory::CreateInstance - No description name found for driver %s\n",
        description.c_str());
    return nullptr;
}
