#include "SensorStructures.h"

namespace QelSim
{
using namespace QelImage;

Structure MakeProbe(uint8_t type, uint16_t handle, const ProbeFields& fields)
{
    Structure s(type, handle);
    s.String(fields.description)
        .Byte(fields.locationAndStatus)
        .Word(fields.maximum)
        .Word(fields.minimum)
        .Word(fields.resolution)
        .Word(fields.tolerance)
        .Word(fields.accuracy)
        .DWord(fields.oem);
    if (fields.nominal)
        s.Word(*fields.nominal);
    return s;
}

Structure MakeCoolingDevice(uint16_t handle, const CoolingFields& fields)
{
    Structure s(27, handle);
    s.Word(fields.temperatureProbe)
        .Byte(fields.deviceTypeAndStatus)
        .Byte(fields.coolingUnitGroup)
        .DWord(fields.oem);
    if (fields.nominalSpeed)
        s.Word(*fields.nominalSpeed);
    return s;
}

Structure MakeManagementDevice(uint16_t handle, const std::string& description, uint8_t deviceType,
                               uint32_t address, uint8_t addressType)
{
    Structure s(34, handle);
    s.String(description).Byte(deviceType).DWord(address).Byte(addressType);
    return s;
}

Structure MakeComponent(uint16_t handle, const std::string& description, uint16_t device, uint16_t component,
                        uint16_t threshold)
{
    Structure s(35, handle);
    s.String(description).Word(device).Word(component).Word(threshold);
    return s;
}

Structure MakeThresholdData(uint16_t handle, const Thresholds& thresholds)
{
    Structure s(36, handle);
    for (uint16_t value : thresholds)
        s.Word(value);
    return s;
}

std::vector<BoardHandles> AddBoard(MachineImage& image, const std::vector<BoardChip>& chips,
                                   uint16_t firstHandle)
{
    std::vector<BoardHandles> result;
    uint16_t next = firstHandle;
    for (const BoardChip& chip : chips)
    {
        BoardHandles handles;
        handles.device = next++;
        image.Add(MakeManagementDevice(handles.device, chip.description, chip.deviceType, chip.address,
                                       chip.addressType));
        for (const BoardSensor& sensor : chip.sensors)
        {
            const uint16_t sensorHandle = next++;
            switch (sensor.kind)
            {
            case BoardSensor::Kind::Voltage:
            case BoardSensor::Kind::Temperature:
            {
                ProbeFields probe = sensor.probe;
                probe.oem = sensor.oem;
                image.Add(
                    MakeProbe(sensor.kind == BoardSensor::Kind::Voltage ? 26 : 28, sensorHandle, probe));
                break;
            }
            case BoardSensor::Kind::Cooling:
            {
                CoolingFields cooling = sensor.cooling;
                cooling.oem = sensor.oem;
                image.Add(MakeCoolingDevice(sensorHandle, cooling));
                break;
            }
            }
            uint16_t thresholdHandle = kNoHandle;
            if (sensor.thresholds)
            {
                thresholdHandle = next++;
                image.Add(MakeThresholdData(thresholdHandle, *sensor.thresholds));
            }
            const uint16_t componentHandle = next++;
            image.Add(
                MakeComponent(componentHandle, sensor.name, handles.device, sensorHandle, thresholdHandle));
            handles.sensors.push_back(sensorHandle);
            handles.thresholds.push_back(thresholdHandle);
            handles.components.push_back(componentHandle);
        }
        result.push_back(handles);
    }
    return result;
}
}  // namespace QelSim
