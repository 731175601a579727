// Hardware-monitor reads of the Nuvoton W83627DHG-P and -PT.
#pragma once

#include "NuvotonHwMon.h"
#include "w83627ehfSioIo.h"

class w83627ehfHwMon : public TNuvotonHwMon<w83627ehfSioIo>
{
public:
    w83627ehfHwMon();
};
