// Hardware-monitor reads of the first-generation ITE IT5571 embedded controller.
#pragma once

#include "IT5571SioIo.h"
#include "IteHwMon.h"

class IT5571_HwMon : public TIteHwMon<IT5571_SioIo>
{
public:
    IT5571_HwMon();
};
