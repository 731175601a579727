#include "SampleMachine.h"

namespace QelSim
{
namespace
{
// Placed where a BIOS of this kind puts them: the legacy entry point on a paragraph of the F
// segment with the table below it (not page-aligned), the UEFI ones in high runtime memory.
constexpr uint32_t kLegacyEntryPoint = 0x000F05B0;
constexpr uint32_t kLegacyTable = 0x000EB4A0;
constexpr uint32_t kEfiEntryPoint = 0x3FF6F000;
constexpr uint32_t kEfiTable = 0x3FF6E000;

Structure SystemInformation(uint16_t handle)
{
    Structure s(1, handle);
    s.String("Tarn Retail Systems")
        .String("Falcon POS Terminal")
        .String("1.0")
        .String("FC2201000123")
        .Bytes(
            {0x4c, 0x4c, 0x45, 0x44, 0x00, 0x46, 0x30, 0x10, 0x80, 0x31, 0xb2, 0xc0, 0x4f, 0x35, 0x32, 0x32})
        .Byte(0x06)  // wake-up: power switch
        .String("K5-BASE")
        .String("Falcon");
    return s;
}

Structure Baseboard(uint16_t handle, uint16_t chassis)
{
    Structure s(2, handle);
    s.String("Tarn Retail Systems")
        .String("FALCON-MB")
        .String("A01")
        .String("FMB2201004711")
        .String("")
        .Byte(0x09)  // hosting board, replaceable
        .String("Default")
        .Word(chassis)
        .Byte(0x0A)  // motherboard
        .Byte(0);    // no contained objects
    return s;
}

Structure Chassis(uint16_t handle)
{
    Structure s(3, handle);
    s.String("Tarn Retail Systems")
        .Byte(0x23)  // mini PC
        .String("1.0")
        .String("FCH2201000123")
        .String("")
        .Byte(0x03)  // boot-up, power supply and thermal state: safe
        .Byte(0x03)
        .Byte(0x03)
        .Byte(0x03)  // security: none
        .DWord(0)
        .Byte(0)  // height unspecified
        .Byte(1)  // one power cord
        .Byte(0)  // no contained elements
        .Byte(3);
    return s;
}

Structure OemStrings(uint16_t handle)
{
    Structure s(11, handle);
    s.Byte(2);
    s.AddString("Tarn POS platform K5");
    s.AddString("EC 1.5");
    return s;
}
}  // namespace

BiosInformation SampleBiosInformation()
{
    BiosInformation bios;
    bios.vendor = "American Megatrends Inc.";
    bios.version = "K5 FALCON 1.05";
    bios.releaseDate = "03/14/2022";
    bios.startSegment = 0xF000;
    bios.romSize = 0x7F;  // 8 MiB
    bios.characteristics = 0x000000007BCBD880ull;
    bios.extension = {0x03, 0x0D};
    bios.biosMajor = 5;
    bios.biosMinor = 19;
    bios.firmwareMajor = 1;
    bios.firmwareMinor = 5;
    return bios;
}

MachineImage SampleMachine(bool efi)
{
    MachineImage image;
    image.Add(MakeBiosInformation(SampleBiosInformation(), 0x0000))
        .Add(SystemInformation(0x0001))
        .Add(Baseboard(0x0002, 0x0003))
        .Add(Chassis(0x0003))
        .Add(OemStrings(0x0004));
    image.Entry().major = 2;
    image.Entry().minor = 8;
    if (efi)
    {
        image.Entry().place = EntryPointPlace::Efi;
        image.Entry().address = kEfiEntryPoint;
        image.SetTableAddress(kEfiTable);
    }
    else
    {
        image.Entry().place = EntryPointPlace::BiosSegment;
        image.Entry().address = kLegacyEntryPoint;
        image.SetTableAddress(kLegacyTable);
    }
    return image;
}
}  // namespace QelSim
