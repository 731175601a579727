#include "SMBiosSensorRecords.h"
#include "Sensors.h"

#include <gtest/gtest.h>

#include <list>

namespace
{
CSMBios_TYPE26 Voltage(uint16_t handle, const char* description)
{
    CSMBios_TYPE26 record;
    record.byType = 26;
    record.byLength = 0x16;
    record.wHandle = handle;
    record.dwSensorType = SENSOR_KIND_VOLTAGE;
    record.dwOEMDefined = 0x00000120;
    record.strDescription = description;
    record.wMaximumValue = 13200;
    record.wNominalValue = 12000;
    record.wUpperCritical = 12600;
    return record;
}
}  // namespace

TEST(SensorStore, ListsHandlesAscendingWhateverTheInsertionOrder)
{
    CSensors store;
    for (uint16_t handle : {0x0040, 0x0031, 0x0035})
    {
        const CSMBios_TYPE26 record = Voltage(handle, "V");
        ASSERT_TRUE(store.PutCopyOf(&record));
    }
    std::list<uint16_t> handles = {0x9999};
    store.GetSensorHandleList(handles);
    EXPECT_EQ(handles, (std::list<uint16_t>{0x9999, 0x0031, 0x0035, 0x0040}));
}

TEST(SensorStore, CopiesAreDeepAndKeepTheDerivedFields)
{
    CSensors store;
    CSMBios_TYPE27 fan;
    fan.byType = 27;
    fan.wHandle = 0x50;
    fan.dwSensorType = SENSOR_KIND_COOLING;
    fan.strDescription = "CPU Fan";
    fan.wNominalSpeed = 2400;
    fan.wTemperatureProbeHandle = 0x28;
    CSMBios_TYPE28 temperature;
    temperature.byType = 28;
    temperature.wHandle = 0x51;
    temperature.dwSensorType = SENSOR_KIND_TEMPERATURE;
    temperature.strDescription = "CPU Temperature";
    temperature.wResolution = 1000;
    CSMBios_TYPE26 voltage = Voltage(0x52, "12V");

    ASSERT_TRUE(store.PutCopyOf(&fan));
    ASSERT_TRUE(store.PutCopyOf(&temperature));
    ASSERT_TRUE(store.PutCopyOf(&voltage));
    fan.strDescription = "changed";
    fan.wNominalSpeed = 1;
    voltage.strDescription.assign(100, 'x');
    voltage.wUpperCritical = 0;

    const auto* storedFan = static_cast<const CSMBios_TYPE27*>(store.Get(0x50));
    ASSERT_NE(storedFan, nullptr);
    EXPECT_NE(storedFan, &fan);
    EXPECT_EQ(storedFan->strDescription, "CPU Fan");
    EXPECT_EQ(storedFan->wNominalSpeed, 2400);
    EXPECT_EQ(storedFan->wTemperatureProbeHandle, 0x28);
    const auto* storedTemperature = static_cast<const CSMBios_TYPE28*>(store.Get(0x51));
    ASSERT_NE(storedTemperature, nullptr);
    EXPECT_EQ(storedTemperature->wResolution, 1000);
    const auto* storedVoltage = static_cast<const CSMBios_TYPE26*>(store.Get(0x52));
    ASSERT_NE(storedVoltage, nullptr);
    EXPECT_EQ(storedVoltage->strDescription, "12V");
    EXPECT_EQ(storedVoltage->wUpperCritical, 12600);
    EXPECT_EQ(storedVoltage->wNominalValue, 12000);
    EXPECT_EQ(storedVoltage->dwOEMDefined, 0x120u);
}

TEST(SensorStore, RefusesUnknownKindsAndSecondRecordsForAHandle)
{
    CSensors store;
    CSMBios_TYPE26 unknown = Voltage(0x31, "odd");
    unknown.dwSensorType = 4;
    EXPECT_FALSE(store.PutCopyOf(&unknown));
    EXPECT_EQ(store.Get(0x31), nullptr);

    CSMBios_TYPE26 first = Voltage(0x31, "first");
    CSMBios_TYPE26 second = Voltage(0x31, "second");
    EXPECT_TRUE(store.PutCopyOf(&first));
    EXPECT_FALSE(store.PutCopyOf(&second));
    ASSERT_NE(store.Get(0x31), nullptr);
    EXPECT_EQ(store.Get(0x31)->strDescription, "first");

    // Put leaves a refused record with its caller.
    auto* taken = new CSMBios_TYPE26(Voltage(0x32, "taken"));
    EXPECT_TRUE(store.Put(taken));
    EXPECT_EQ(store.Get(0x32), taken);
    CSMBios_TYPE26 refused = Voltage(0x32, "refused");
    EXPECT_FALSE(store.Put(&refused));
    EXPECT_EQ(store.Get(0x32), taken);
    EXPECT_EQ(store.Get(0x33), nullptr);
}
