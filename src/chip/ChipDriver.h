// What the seven chip drivers share: gathering the chip's sensors from SMBIOS, reading a
// sensor's register, translating the reading with the chip's register table, and describing
// the sensor in CIM terms. A driver supplies its register table, its hardware monitor and its
// row of the chip table (ChipTable.h).
#pragma once

#include "ChipDevice.h"
#include "ChipRegisterTable.h"
#include "ChipTable.h"
#include "KernelHwMon.h"
#include "SMBiosSensorRecords.h"
#include "log.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CChipManager;

// A sensor register: bank and index.
struct SensorRegister
{
    uint8_t bank;
    uint8_t reg;
    uint32_t BankPort() const { return static_cast<uint32_t>(bank) << 8 | reg; }
};

class CChipDriver : public CChipDevice
{
public:
    // The management device's address type the drivers accept: an I/O port.
    static constexpr uint32_t kAddressTypeIoPort = 3;

    SENSOR_STATUS Initialise(CRawSMBios& rawSMBios) override;
    void GetSensorHandles(std::list<uint16_t>& handles) override;
    SENSOR_STATUS GetSensorInformation(uint16_t wHandle, CSensorInformation& info) override;
    SENSOR_STATUS ReadSensor(uint16_t wHandle, CSensorReading& reading) override;
    std::string ReadThrough() const override;
    std::string KernelProblem() const override { return m_strKernelProblem; }

    // The reading in engineering units (millivolts, degrees Celsius, rpm).
    uint64_t Translate(const CSMBios_Sensor* pSensor, uint64_t value);
    void CopySensorInformation(const CSMBios_Sensor* pSensor, CSensorInformation& info);
    // An SMBIOS value (millivolts, rpm, tenths of a degree) in the CIM unit of the modifier;
    // 0x8000 (unknown) gives 0x80000000.
    int32_t GetCimAdjustedValueForVoltage(int value, int unitModifier);
    int32_t GetCimAdjustedValueForCooling(int value, int unitModifier);
    int32_t GetCimAdjustedValueForTemperature(int value, int unitModifier);

    // The register of a stored sensor.
    SensorRegister DecodeRegister(uint32_t dwOEMDefined) const;
    const CChipRegisterTable& Table() const { return RegisterTable(); }

    std::string m_strDescription;
    uint32_t m_dwAddress;
    uint32_t m_dwAddressType;
    uint16_t m_wSMBiosHandle;
    CChipManager* m_pChipManager;

protected:
    CChipDriver(const ChipVariant& chip, CChipManager* pChipManager, const std::string& description,
                uint32_t dwAddress, uint32_t dwAddressType, uint16_t wSMBiosHandle);

    // What each chip provides.
    virtual const CChipRegisterTable& RegisterTable() const = 0;
    virtual int StartHardwareMonitor() = 0;
    // The register's value; nothing when the chip could not be read.
    virtual std::optional<uint64_t> ReadRegister(uint32_t sensorKind, SensorRegister where) = 0;
    // The kernel refused the port device.
    virtual bool PortsRefused() const = 0;

    const ChipVariant& m_Chip;

private:
    // Where the ports cannot be used: the chip's kernel driver, if it is bound.
    SENSOR_STATUS StartThroughKernel();

    std::unique_ptr<CKernelHwMon> m_pKernel;  // set when the chip is read through its kernel driver
    std::string m_strKernelProblem;
};

// A driver with its register table and hardware monitor, owned by value.
template <class Data, class HwMon>
class TChipDriver : public CChipDriver
{
public:
    ~TChipDriver() override { LogQuick(LOG_DEBUG, (std::string(m_Chip.driverName) + " Destroyed").c_str()); }

    Data m_Data;
    HwMon m_HwMon;

protected:
    TChipDriver(const ChipVariant& chip, CChipManager* pChipManager, const std::string& description,
                uint32_t dwAddress, uint32_t dwAddressType, uint16_t wSMBiosHandle)
        : CChipDriver(chip, pChipManager, description, dwAddress, dwAddressType, wSMBiosHandle)
    {
        LogQuick(LOG_DEBUG, (std::string(m_Chip.driverName) + " Constructed").c_str());
    }

    const CChipRegisterTable& RegisterTable() const override { return m_Data; }
    std::optional<PortClaim> KernelClaim() const override { return m_HwMon.kernelClaim(); }
    int StartHardwareMonitor() override { return StartHwMon(m_HwMon, m_dwAddress); }
    bool PortsRefused() const override { return m_HwMon.portsRefused(); }
    std::optional<uint64_t> ReadRegister(uint32_t sensorKind, SensorRegister where) override
    {
        switch (sensorKind)
        {
        case SENSOR_KIND_COOLING:
            return ReadFan(m_HwMon, where.bank, where.reg);
        case SENSOR_KIND_TEMPERATURE:
            if (const std::optional<int64_t> value = ReadTemperature(m_HwMon, where.bank, where.reg))
                return static_cast<uint64_t>(*value);
            return std::nullopt;
        default:
            return ReadVoltage(m_HwMon, where.bank, where.reg);
        }
    }
};
