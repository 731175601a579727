// PXT_NumericSensor: the CIM properties of one sensor, kept by the provider from start-up on, with
// the reading refreshed at most once per update interval, and turned into a CMPI object path or
// instance on request.
#pragma once

#include "SensorInterface.h"
#include "cmpi/Cmpi.h"

#include <cstdint>
#include <string>
#include <sys/time.h>

class PXT_NumericSensor
{
public:
    static const char* const kClassName;
    static constexpr int kDefaultUpdateInterval = 1000;
    static constexpr int kMinimumUpdateInterval = 500;
    static constexpr int kMaximumUpdateInterval = 2500;

    explicit PXT_NumericSensor(uint32_t handle);
    PXT_NumericSensor(const PXT_NumericSensor&) = default;
    PXT_NumericSensor& operator=(const PXT_NumericSensor&) = default;
    virtual ~PXT_NumericSensor() = default;

    void setAccuracy(int value) { Accuracy = value; }
    void setBaseUnits(uint16_t value) { BaseUnits = value; }
    void setCaption(const std::string& value) { Caption = value; }
    void setCurrentReading(int value) { CurrentReading = value; }
    void setDescription(const std::string& value) { Description = value; }
    void setDeviceID(const std::string& value) { DeviceID = value; }
    void setHysteresis(uint32_t value) { Hysteresis = value; }
    void setIsLinear(bool value) { IsLinear = value; }
    void setLowerThresholdCritical(int value) { LowerThresholdCritical = value; }
    void setLowerThresholdFatal(int value) { LowerThresholdFatal = value; }
    void setLowerThresholdNonCritical(int value) { LowerThresholdNonCritical = value; }
    void setMaxReadable(int value) { MaxReadable = value; }
    void setMinReadable(int value) { MinReadable = value; }
    void setName(const std::string& value) { Name = value; }
    void setNominalReading(int value) { NominalReading = value; }
    void setOtherSensorTypeDescription(const std::string& value) { OtherSensorTypeDescription = value; }
    void setRateUnits(uint16_t value) { RateUnits = value; }
    void setResolution(uint32_t value) { Resolution = value; }
    void setSensorType(uint16_t value) { SensorType = value; }
    void setUnitModifier(int value) { UnitModifier = value; }
    void setUpperThresholdCritical(int value) { UpperThresholdCritical = value; }
    void setUpperThresholdFatal(int value) { UpperThresholdFatal = value; }
    void setUpperThresholdNonCritical(int value) { UpperThresholdNonCritical = value; }
    // Every property the sensor information gives, all but the names (Name, Caption, Description,
    // DeviceID) and the reading.
    void setInformation(const CSensorInformation& info);

    uint32_t getHandle() const { return m_handle; }
    const char* getName() const { return Name.c_str(); }
    int getCurrentReading() const { return CurrentReading; }
    uint16_t getSensorType() const { return SensorType; }
    uint16_t getBaseUnits() const { return BaseUnits; }
    int getLowerThresholdCritical() const { return LowerThresholdCritical; }
    int getUpperThresholdCritical() const { return UpperThresholdCritical; }
    bool isAdditional() const { return m_bAdditional; }
    int getUpdateInterval() const { return m_updateInterval; }

    // Clamped to 500 ... 2500 ms.
    void setUpdateInterval(int milliseconds);

    // True, and the time of the reading taken as now, when the last reading is at least the update
    // interval old.
    bool needsReading();
    // The same decision for a given time; needsReading() passes the clock's.
    bool needsReadingAt(const timeval& now);
    // After a reading that failed: the next request reads again rather than answering with the
    // reading before the failure.
    void forgetReading() { m_lastRead = timeval{0, 0}; }

    // Milliseconds from b to a, as the throttle counts them.
    static int tvdiff_ms(const timeval& a, const timeval& b);

    // New broker objects; a broker failure is thrown as the CMPIStatus it returned.
    CMPIObjectPath* getObjectPath(const CMPIBroker* broker) const;
    CMPIInstance* getInstance(const CMPIBroker* broker) const;

    // Set by the model-specific sensors, whose readings come from elsewhere than the chips.
    bool m_bAdditional;

private:
    uint32_t m_handle;
    int m_updateInterval;
    timeval m_lastRead;

    int Accuracy;
    uint16_t BaseUnits;
    std::string Caption;
    int CurrentReading;
    std::string Description;
    std::string DeviceID;
    uint32_t Hysteresis;
    bool IsLinear;
    int LowerThresholdCritical;
    int LowerThresholdFatal;
    int LowerThresholdNonCritical;
    int MaxReadable;
    int MinReadable;
    std::string Name;
    int NominalReading;
    std::string OtherSensorTypeDescription;
    uint16_t RateUnits;
    uint32_t Resolution;
    uint16_t SensorType;
    int UnitModifier;
    int UpperThresholdCritical;
    int UpperThresholdFatal;
    int UpperThresholdNonCritical;
};
