// Any bytes as a machine profile, the JSON a user gives the simulator: a profile is either
// refused with a ProfileError naming the problem, or it builds the machine's memory image and
// chips. Any other exception escaping is a finding (libFuzzer reports it as a crash), as is
// anything AddressSanitizer or UndefinedBehaviorSanitizer sees.
#include "FuzzSupport.h"
#include "PortBus.h"
#include "Profile.h"

#include <cstdint>
#include <string>

namespace
{
using QelFuzz::Check;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QelFuzz::UseEmptySysRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    QelSim::Profile profile;
    try
    {
        profile = QelSim::ParseProfile(text, "fuzz");
    }
    catch (const QelSim::ProfileError& e)
    {
        Check(e.what()[0] != '\0');
        return 0;
    }
    Check(!profile.chips.empty());

    // What a parsed profile gives must build, or be refused the same way.
    for (uint16_t handleBase : {uint16_t{0}, uint16_t{0x1000}})
    {
        try
        {
            QelImage::MachineImage image = QelSim::BuildImage(profile, handleBase);
            (void)image.TableBytes();
            (void)image.EntryPointBytes();
            (void)image.SystabText();
        }
        catch (const QelSim::ProfileError& e)
        {
            Check(e.what()[0] != '\0');
        }
    }
    QelSim::PortBus bus;
    QelSim::AttachChips(profile, bus);
    return 0;
}
