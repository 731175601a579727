#include "AdditionalInfo.h"

void AdditionalInfo::initialise(std::vector<PXT_NumericSensor>& /*sensors*/)
{
    m_bInitialised = true;
}

void AdditionalInfo::updateReading(PXT_NumericSensor& /*sensor*/) {}
