// AdditionalInfo: the sensors a machine model has beyond those its SMBIOS tables describe. The
// provider calls it once after building the chip sensors, and for every sensor marked additional
// when a request refreshes readings.
//
// No model contributes any yet: the SSD temperature sensors of the Falcon are still to come, so
// initialise adds nothing and there is never an additional sensor to refresh.
#pragma once

#include "PXT_NumericSensor.h"

#include <vector>

class AdditionalInfo
{
public:
    AdditionalInfo() = default;
    virtual ~AdditionalInfo() = default;

    // Appends the model's extra sensors to the provider's list.
    void initialise(std::vector<PXT_NumericSensor>& sensors);
    // Refreshes the reading of a sensor that initialise appended.
    void updateReading(PXT_NumericSensor& sensor);

    bool isInitialised() const { return m_bInitialised; }

private:
    bool m_bInitialised = false;
};
