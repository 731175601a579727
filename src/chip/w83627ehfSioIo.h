// Super I/O access to the Nuvoton W83627DHG-P and -PT.
#pragma once

#include "NuvotonSioIo.h"

class w83627ehfSioIo : public CNuvotonSioIo
{
public:
    w83627ehfSioIo();
};
