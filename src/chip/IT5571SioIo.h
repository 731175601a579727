// Register access to the first-generation ITE IT5571 embedded controller.
#pragma once

#include "IteSioIo.h"

class IT5571_SioIo : public CIteSioIo
{
public:
    IT5571_SioIo();
};
