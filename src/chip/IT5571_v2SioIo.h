// Register access to the second-generation ITE IT5571 embedded controller.
#pragma once

#include "IteSioIo.h"

class IT5571_SioIo_v2 : public CIteSioIo
{
public:
    IT5571_SioIo_v2();
};
