// Hardware-monitor reads of the second-generation ITE IT5571 embedded controller.
#pragma once

#include "IT5571_v2SioIo.h"
#include "IteHwMon.h"

class IT5571_HwMon_v2 : public TIteHwMon<IT5571_SioIo_v2>
{
public:
    IT5571_HwMon_v2();
};
