// A client of the installed libqelchip: starts CChip on the machine (QEL_SYSROOT names a simulated
// one) and prints each sensor with its reading. Exits non-zero unless it read at least one.
#include <chip.h>

#include <cstdio>

int main()
{
    CChip chip;
    const SENSOR_STATUS started = chip.Initialise();
    if (started != SS_SUCCESS)
    {
        fprintf(stderr, "CChip::Initialise: status %u\n", started);
        return 1;
    }
    CSensorHandleList handles;
    if (chip.EnumerateSensorHandles(handles) != SS_SUCCESS || handles.empty())
    {
        fprintf(stderr, "no sensors\n");
        return 1;
    }
    for (SENSOR_HANDLE handle : handles)
    {
        CSensorInformation info;
        CSensorReading reading;
        reading.Translate = 1;
        if (chip.GetSensorInformation(handle, info) != SS_SUCCESS ||
            chip.ReadSensor(handle, reading) != SS_SUCCESS)
        {
            fprintf(stderr, "sensor %u cannot be read\n", handle);
            return 1;
        }
        printf("%s: %d\n", info.Description.c_str(), static_cast<int32_t>(reading.CurrentReading));
    }
    printf("%zu sensors read\n", handles.size());
    return 0;
}
