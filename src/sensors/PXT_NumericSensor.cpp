#include "PXT_NumericSensor.h"

#include "CmpiCalls.h"
#include "PxtNames.h"
#include "SensorInterface.h"
#include "log.h"

#include <cerrno>
#include <climits>
#include <cstdio>

const char* const PXT_NumericSensor::kClassName = "PXT_NumericSensor";

namespace
{
bool Known(int value)
{
    return value != SENSOR_VALUE_UNKNOWN;
}

bool Known(uint32_t value)
{
    return value != static_cast<uint32_t>(SENSOR_VALUE_UNKNOWN);
}

// A property whose value is unknown is left out of the instance.
void SetIfKnown(CMPIInstance* instance, const char* name, int value)
{
    if (Known(value))
        CmpiCalls::SetSint32(instance, name, value);
}

void SetIfKnown(CMPIInstance* instance, const char* name, uint32_t value)
{
    if (Known(value))
        CmpiCalls::SetUint32(instance, name, value);
}
}  // namespace

PXT_NumericSensor::PXT_NumericSensor(uint32_t handle)
    : m_bAdditional(false), m_handle(handle), m_updateInterval(kDefaultUpdateInterval), m_lastRead{0, 0},
      Accuracy(0), BaseUnits(0), CurrentReading(0), Hysteresis(0), IsLinear(false), LowerThresholdCritical(0),
      LowerThresholdFatal(0), LowerThresholdNonCritical(0), MaxReadable(0), MinReadable(0), NominalReading(0),
      RateUnits(0), Resolution(0), SensorType(0), UnitModifier(0), UpperThresholdCritical(0),
      UpperThresholdFatal(0), UpperThresholdNonCritical(0)
{
    // The reading taken at start-up counts as the first one.
    gettimeofday(&m_lastRead, nullptr);
}

void PXT_NumericSensor::setInformation(const CSensorInformation& info)
{
    setOtherSensorTypeDescription(info.OtherSensorTypeDescription);
    setAccuracy(info.Accuracy);
    setBaseUnits(info.BaseUnits);
    setHysteresis(static_cast<uint32_t>(info.Hysteresis));
    setIsLinear(info.IsLinear);
    setLowerThresholdCritical(info.LowerThresholdCritical);
    setLowerThresholdFatal(info.LowerThresholdFatal);
    setLowerThresholdNonCritical(info.LowerThresholdNonCritical);
    setMaxReadable(info.MaxReadable);
    setMinReadable(info.MinReadable);
    setNominalReading(info.NominalReading);
    setRateUnits(info.RateUnits);
    setResolution(static_cast<uint32_t>(info.Resolution));
    setSensorType(info.SensorType);
    setUnitModifier(info.UnitModifier);
    setUpperThresholdCritical(info.UpperThresholdCritical);
    setUpperThresholdFatal(info.UpperThresholdFatal);
    setUpperThresholdNonCritical(info.UpperThresholdNonCritical);
}

void PXT_NumericSensor::setUpdateInterval(int milliseconds)
{
    if (milliseconds < kMinimumUpdateInterval)
        milliseconds = kMinimumUpdateInterval;
    if (milliseconds > kMaximumUpdateInterval)
        milliseconds = kMaximumUpdateInterval;
    m_updateInterval = milliseconds;
}

int PXT_NumericSensor::tvdiff_ms(const timeval& a, const timeval& b)
{
    // Counted in 64 bits: a sensor left unread for weeks must not wrap round to a small or
    // negative age.
    const int64_t ms = static_cast<int64_t>(a.tv_sec - b.tv_sec) * 1000 +
                       (static_cast<int64_t>(a.tv_usec) + 1000000 - b.tv_usec) / 1000 - 1000;
    if (ms > INT_MAX)
        return INT_MAX;
    if (ms < INT_MIN)
        return INT_MIN;
    return static_cast<int>(ms);
}

bool PXT_NumericSensor::needsReading()
{
    timeval now;
    if (gettimeofday(&now, nullptr) != 0)
    {
        Log(LOG_ERROR, "gettimeofday failed, errno=%d", errno);
        return true;
    }
    return needsReadingAt(now);
}

bool PXT_NumericSensor::needsReadingAt(const timeval& now)
{
    fprintf(stderr, "now=%d:%dus, prev=%d:%dus\n", static_cast<int>(now.tv_sec),
            static_cast<int>(now.tv_usec), static_cast<int>(m_lastRead.tv_sec),
            static_cast<int>(m_lastRead.tv_usec));
    const int diff = tvdiff_ms(now, m_lastRead);
    // A negative age means the clock was set back after the last reading; waiting for it to catch
    // up would serve that old reading for as long as the clock jumped.
    if (diff >= 0 && m_updateInterval > diff)
    {
        fprintf(stderr, "no need to read - diff is %d, update interval is %d\n", diff, m_updateInterval);
        return false;
    }
    m_lastRead = now;
    fprintf(stderr, "read sensor - diff was %d, update interval is %d\n", diff, m_updateInterval);
    return true;
}

CMPIObjectPath* PXT_NumericSensor::getObjectPath(const CMPIBroker* broker) const
{
    return CmpiCalls::NewPathWithName(broker, kClassName, Name);
}

CMPIInstance* PXT_NumericSensor::getInstance(const CMPIBroker* broker) const
{
    using namespace CmpiCalls;
    CMPIInstance* instance = NewInstance(broker, getObjectPath(broker));

    // In the order of the class's properties; unknown values are left out.
    SetIfKnown(instance, "Accuracy", Accuracy);
    SetUint16(instance, "BaseUnits", BaseUnits);
    SetChars(instance, "Caption", Caption);
    SetChars(instance, "CreationClassName", kClassName);
    SetSint32(instance, "CurrentReading", CurrentReading);
    SetChars(instance, "Description", Description);
    SetChars(instance, "DeviceID", DeviceID);
    SetIfKnown(instance, "Hysteresis", Hysteresis);
    SetBoolean(instance, "IsLinear", IsLinear);
    SetIfKnown(instance, "LowerThresholdCritical", LowerThresholdCritical);
    SetIfKnown(instance, "LowerThresholdFatal", LowerThresholdFatal);
    SetIfKnown(instance, "LowerThresholdNonCritical", LowerThresholdNonCritical);
    SetIfKnown(instance, "MaxReadable", MaxReadable);
    SetIfKnown(instance, "MinReadable", MinReadable);
    SetChars(instance, "Name", Name);
    SetIfKnown(instance, "NominalReading", NominalReading);
    SetChars(instance, "OtherSensorTypeDescription", OtherSensorTypeDescription);
    SetUint16(instance, "RateUnits", RateUnits);
    SetIfKnown(instance, "Resolution", Resolution);
    SetUint16(instance, "SensorType", SensorType);
    SetChars(instance, "SystemCreationClassName", kPxtSystemCreationClassName);
    SetChars(instance, "SystemName", kPxtSystemName);
    SetSint32(instance, "UnitModifier", UnitModifier);
    SetIfKnown(instance, "UpperThresholdCritical", UpperThresholdCritical);
    SetIfKnown(instance, "UpperThresholdFatal", UpperThresholdFatal);
    SetIfKnown(instance, "UpperThresholdNonCritical", UpperThresholdNonCritical);
    return instance;
}
