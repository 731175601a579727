#include "ChipDriver.h"

#include "SMBiosSensorData.h"

#include <cassert>
#include <cerrno>
#include <cstring>

namespace
{
constexpr uint32_t kBankSelectRegister = 0x4E;
// The ITE layout's bit that makes bits 31..24 a bank.
constexpr uint32_t kIteBankPresent = 0x800;

// CIM SensorType codes.
constexpr uint16_t kSensorTypeUnknown = 0;
constexpr uint16_t kSensorTypeOther = 1;
constexpr uint16_t kSensorTypeTemperature = 2;
constexpr uint16_t kSensorTypeVoltage = 3;
constexpr uint16_t kSensorTypeTachometer = 5;

// The powers of ten of the SMBIOS units in the CIM base units: millivolts, revolutions per
// minute, tenths of a degree.
constexpr int kMillivoltsExponent = -3;
constexpr int kRpmExponent = 0;
constexpr int kTenthsExponent = -1;

// value × 10^(smbiosExponent − unitModifier), truncated toward zero. Decimal scaling is done in
// integers: through doubles, v / 1000.0 × 1000 comes out as v − 1 for hundreds of millivolt
// values (1001 among them).
int32_t CimAdjusted(int value, int unitModifier, int smbiosExponent)
{
    const uint16_t v = static_cast<uint16_t>(value);
    if (v == SMBIOS_WORD_UNKNOWN)
        return SENSOR_VALUE_UNKNOWN;
    if (v == 0)
        return 0;
    const long long exponent = static_cast<long long>(smbiosExponent) - unitModifier;
    uint64_t result = v;
    for (long long i = 0; i < exponent; ++i)
    {
        result *= 10;
        if (result > static_cast<uint64_t>(INT32_MAX))
            return INT32_MAX;
    }
    for (long long i = 0; i < -exponent && result != 0; ++i)
        result /= 10;
    return static_cast<int32_t>(result);
}

// The CIM description of a cooling device's SMBIOS device type (bits 4..0).
void CoolingSensorType(uint8_t deviceType, CSensorInformation& info)
{
    info.OtherSensorTypeDescription.clear();
    switch (deviceType)
    {
    case 1:
        info.SensorType = kSensorTypeOther;
        info.OtherSensorTypeDescription = "Unknown";
        break;
    case 3:   // fan
    case 4:   // centrifugal blower
    case 5:   // chip fan
    case 6:   // cabinet fan
    case 7:   // power supply fan
    case 16:  // active cooling
        info.SensorType = kSensorTypeTachometer;
        break;
    case 8:
        info.SensorType = kSensorTypeOther;
        info.OtherSensorTypeDescription = "Heat Pipe";
        break;
    case 9:
        info.SensorType = kSensorTypeOther;
        info.OtherSensorTypeDescription = "Integrated Refrigeration";
        break;
    case 17:
        info.SensorType = kSensorTypeOther;
        info.OtherSensorTypeDescription = "Passive Cooling";
        break;
    default:
        info.SensorType = kSensorTypeUnknown;
        break;
    }
}
}  // namespace

CChipDriver::CChipDriver(const ChipVariant& chip, CChipManager* pChipManager, const std::string& description,
                         uint32_t dwAddress, uint32_t dwAddressType, uint16_t wSMBiosHandle)
    : m_strDescription(description), m_dwAddress(dwAddress), m_dwAddressType(dwAddressType),
      m_wSMBiosHandle(wSMBiosHandle), m_pChipManager(pChipManager), m_Chip(chip)
{
}

SensorRegister CChipDriver::DecodeRegister(uint32_t dwOEMDefined) const
{
    SensorRegister where{0, static_cast<uint8_t>(dwOEMDefined & 0xFF)};
    if (m_Chip.oemLayout == OemLayout::Nuvoton)
        where.bank = static_cast<uint8_t>(dwOEMDefined >> 16);
    else if ((dwOEMDefined & kIteBankPresent) != 0)
        where.bank = static_cast<uint8_t>(dwOEMDefined >> 24);
    return where;
}

SENSOR_STATUS CChipDriver::Initialise(CRawSMBios& rawSMBios)
{
    assert(m_bInit == false && "m_bInit==false");
    const char* name = m_Chip.driverName;
    if (m_dwAddressType != kAddressTypeIoPort)
    {
        Log(LOG_ERROR, "%s::Initialise - Address Type 0x%x, expecting Address Type 0x3 (IO Port)", name,
            m_dwAddressType);
        return SS_SMBIOS_ERROR;
    }

    CSMBiosSensorData sensorData(m_wSMBiosHandle);
    if (!sensorData.Initialise(rawSMBios))
        return SS_SMBIOS_ERROR;

    int index = 0;
    for (CSMBios_Sensor* pSensor : sensorData.m_vThisChipSensors)
    {
        if (pSensor == nullptr)
        {
            Log(LOG_ERROR, "%s::Initialise - Null sensor at list index=%d", name, index);
            return SS_NO_SENSORS;
        }
        if (m_Chip.oemLayout == OemLayout::Nuvoton)
        {
            const uint32_t old = pSensor->dwOEMDefined;
            pSensor->dwOEMDefined = kBankSelectRegister << 24 | (old >> 24) << 16 | (old & 0xFFFF);
        }
        Log(LOG_DEBUG, "%s::Initialise - Adding sensor 0x%08x to map", name,
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(pSensor)));
        if (!m_Sensors.PutCopyOf(pSensor))
            return SS_NO_SENSORS;
        ++index;
    }

    const int started = StartHardwareMonitor();
    const int error = errno;
    if (KernelClaim() || PortsRefused())
        return StartThroughKernel();
    if (started != 0)
    {
        Log(LOG_ERROR, "%s::Initialise - failed to initialise HW Monitor driver 0x%08x, %s", name,
            static_cast<unsigned>(error), strerror(error));
        return SS_HWMON_ERROR;
    }
    m_bInit = true;
    LogQuick(LOG_DEBUG, (std::string(name) + "::Initialise - Initialised Ok").c_str());
    return SS_SUCCESS;
}

SENSOR_STATUS CChipDriver::StartThroughKernel()
{
    const char* name = m_Chip.driverName;
    const std::optional<PortClaim> claim = KernelClaim();
    const std::string why = claim ? "the kernel's " + claim->driver + " driver holds its ports"
                                  : std::string("the kernel refuses /dev/port (locked down?)");
    const KernelDriverFacts* facts = KernelFactsFor(m_Chip.chip);
    if (facts == nullptr)
    {
        m_strKernelProblem = why + ", and Linux has no driver for this chip: its sensors cannot be read";
        Log(LOG_ERROR, "%s::Initialise - %s", name, m_strKernelProblem.c_str());
        return SS_HWMON_ERROR;
    }
    auto kernel = std::make_unique<CKernelHwMon>(*facts);
    if (!kernel->Initialise())
    {
        m_strKernelProblem = why + ", and the kernel's " + facts->driver +
                             " driver is not bound (no hwmon device '" + facts->name +
                             "'): load it with 'modprobe " + facts->driver + "'";
        Log(LOG_ERROR, "%s::Initialise - %s", name, m_strKernelProblem.c_str());
        return SS_HWMON_ERROR;
    }
    Log(LOG_INFO, "%s::Initialise - %s: reading the chip through the kernel's %s driver, %s", name,
        why.c_str(), facts->driver, kernel->Directory().c_str());
    m_pKernel = std::move(kernel);
    m_bInit = true;
    return SS_SUCCESS;
}

std::string CChipDriver::ReadThrough() const
{
    return m_pKernel ? m_pKernel->Facts().driver : "";
}

void CChipDriver::GetSensorHandles(std::list<uint16_t>& handles)
{
    m_Sensors.GetSensorHandleList(handles);
}

SENSOR_STATUS CChipDriver::GetSensorInformation(uint16_t wHandle, CSensorInformation& info)
{
    assert(m_bInit == true && "m_bInit==true");
    const CSMBios_Sensor* pSensor = m_Sensors.Get(wHandle);
    if (pSensor == nullptr)
    {
        Log(LOG_ERROR, "%s::GetSensorInformation - Cannot find sensor 0x%08x", m_Chip.driverName, wHandle);
        return SS_INVALID_HANDLE;
    }
    CopySensorInformation(pSensor, info);
    return SS_SUCCESS;
}

SENSOR_STATUS CChipDriver::ReadSensor(uint16_t wHandle, CSensorReading& reading)
{
    assert(m_bInit == true && "m_bInit==true");
    const char* name = m_Chip.driverName;
    const CSMBios_Sensor* pSensor = m_Sensors.Get(wHandle);
    if (pSensor == nullptr)
    {
        Log(LOG_ERROR, "%s::ReadSensor - Cannot find sensor 0x%08x", name, wHandle);
        return SS_INVALID_HANDLE;
    }
    if (m_Chip.Has(Quirk::TraceOemOnRead))
        Log(LOG_DEBUG, "%s::ReadSensor - sensor->dwOEMDefined - 0x%04x", name, pSensor->dwOEMDefined);

    const uint32_t kind = pSensor->dwSensorType;
    if (kind != SENSOR_KIND_VOLTAGE && kind != SENSOR_KIND_COOLING && kind != SENSOR_KIND_TEMPERATURE)
    {
        Log(LOG_DEBUG, "%s::ReadSensor - Unknown sensor type=0x%x", name, kind);
        return SS_INTERNAL_ERROR;
    }
    const SensorRegister where = DecodeRegister(pSensor->dwOEMDefined);
    const std::optional<uint64_t> read =
        m_pKernel ? m_pKernel->Read(m_Chip, where.bank, where.reg) : ReadRegister(kind, where);
    if (!read)
    {
        // A reading that was not taken is never given out as a value.
        if (m_pKernel)
            Log(LOG_ERROR, "%s::ReadSensor - sensor 0x%04x not read through the kernel's %s driver", name,
                wHandle, m_pKernel->Facts().driver);
        else
            Log(LOG_ERROR, "%s::ReadSensor - sensor 0x%04x not read: bank %u register 0x%02x did not answer",
                name, wHandle, where.bank, where.reg);
        return SS_HWMON_ERROR;
    }
    uint64_t value = *read;
    Log(LOG_DEBUG, "%s::ReadSensor - Raw reading=%d, 0x%08x", name, static_cast<int>(value),
        static_cast<unsigned>(value));
    if ((reading.Translate & 1) != 0)
    {
        value = Translate(pSensor, value);
        Log(LOG_DEBUG, "%s::ReadSensor - Translated reading=%d, 0x%08x", name, static_cast<int>(value),
            static_cast<unsigned>(value));
    }
    reading.CurrentReading = value;
    return SS_SUCCESS;
}

uint64_t CChipDriver::Translate(const CSMBios_Sensor* pSensor, uint64_t value)
{
    const char* name = m_Chip.driverName;
    const SensorRegister where = DecodeRegister(pSensor->dwOEMDefined);
    const uint32_t bankPort = where.BankPort();
    switch (m_Chip.translateTrace)
    {
    case TranslateTrace::None:
        break;
    case TranslateTrace::BankAndBankPort:
        Log(LOG_TRACE, "%s::Translate - Bank: %02x  Port: %02x", name, where.bank, where.reg);
        Log(LOG_TRACE, "%s::Translate - BankPort: %02x", name, bankPort);
        break;
    case TranslateTrace::BankOnly:
        Log(LOG_TRACE, "%s::Translate - Bank: %02x  Port: %02x", name, where.bank, where.reg);
        break;
    case TranslateTrace::OneLine:
        Log(LOG_DEBUG, "%s::Translate - Bank 0x%02x, Port 0x%02x, BankPort: 0x%02x", name, where.bank,
            where.reg, bankPort);
        break;
    }

    const Conversion* pConversion = RegisterTable().GetConversion(bankPort);
    if (pConversion == nullptr)
    {
        if (m_Chip.Has(Quirk::ReportUnknownBankPort))
            Log(LOG_ERROR, "%s::Translate - Internal error - unknown bank 0x%02x, Port 0x%02x", name,
                where.bank, where.reg);
        return value;
    }
    return ApplyConversion(*pConversion, pSensor->dwSensorType, value, name);
}

int32_t CChipDriver::GetCimAdjustedValueForVoltage(int value, int unitModifier)
{
    return CimAdjusted(value, unitModifier, kMillivoltsExponent);
}

int32_t CChipDriver::GetCimAdjustedValueForCooling(int value, int unitModifier)
{
    return CimAdjusted(value, unitModifier, kRpmExponent);
}

int32_t CChipDriver::GetCimAdjustedValueForTemperature(int value, int unitModifier)
{
    return CimAdjusted(value, unitModifier, kTenthsExponent);
}

void CChipDriver::CopySensorInformation(const CSMBios_Sensor* pSensor, CSensorInformation& info)
{
    const BankPortData& row = RegisterTable().GetData(DecodeRegister(pSensor->dwOEMDefined).BankPort());
    info.BaseUnits = row.BaseUnits;
    info.Hysteresis = row.Hysteresis;
    info.IsLinear = row.IsLinear;
    info.MaxReadable = row.MaxReadable;
    info.MinReadable = row.MinReadable;
    info.RateUnits = row.RateUnits;
    info.UnitModifier = row.UnitModifier;
    const int m = row.UnitModifier;

    int32_t (CChipDriver::*adjust)(int, int) = nullptr;
    switch (pSensor->dwSensorType)
    {
    case SENSOR_KIND_COOLING:
    {
        adjust = &CChipDriver::GetCimAdjustedValueForCooling;
        const auto* pCooling = static_cast<const CSMBios_TYPE27*>(pSensor);
        CoolingSensorType(pCooling->byDeviceTypeAndStatus & 0x1F, info);
        info.Accuracy = SENSOR_VALUE_UNKNOWN;
        info.Resolution = static_cast<uint32_t>(SENSOR_VALUE_UNKNOWN);
        info.NominalReading = pCooling->wNominalSpeed == SMBIOS_WORD_UNKNOWN
                                  ? SENSOR_VALUE_UNKNOWN
                                  : (this->*adjust)(pCooling->wNominalSpeed, m);
        break;
    }
    case SENSOR_KIND_TEMPERATURE:
    case SENSOR_KIND_VOLTAGE:
    {
        const bool voltage = pSensor->dwSensorType == SENSOR_KIND_VOLTAGE;
        adjust = voltage ? &CChipDriver::GetCimAdjustedValueForVoltage
                         : &CChipDriver::GetCimAdjustedValueForTemperature;
        const auto* pProbe = static_cast<const CSMBios_Probe*>(pSensor);
        info.SensorType = voltage ? kSensorTypeVoltage : kSensorTypeTemperature;
        info.OtherSensorTypeDescription.clear();
        info.NominalReading = pProbe->wNominalValue == SMBIOS_WORD_UNKNOWN
                                  ? SENSOR_VALUE_UNKNOWN
                                  : (this->*adjust)(pProbe->wNominalValue, m);
        info.Accuracy = pProbe->wAccuracy == SMBIOS_WORD_UNKNOWN ? SENSOR_VALUE_UNKNOWN : pProbe->wAccuracy;
        // Resolution comes in tenths of a millivolt or thousandths of a degree: first in the
        // SMBIOS unit of the thresholds, then in the CIM unit.
        if (pProbe->wResolution == SMBIOS_WORD_UNKNOWN)
        {
            info.Resolution = static_cast<uint32_t>(SENSOR_VALUE_UNKNOWN);
        }
        else
        {
            const unsigned r = pProbe->wResolution / (voltage ? 10u : 100u);
            info.Resolution = (r & 0xFFFF) == 0 ? 0 : static_cast<uint32_t>((this->*adjust)(r & 0xFFFF, m));
        }
        break;
    }
    default:
        Log(LOG_DEBUG, "%s::CopySensorInformation - Unknown sensor type=0x%x", m_Chip.driverName,
            pSensor->dwSensorType);
        break;
    }

    if (adjust != nullptr)
    {
        info.LowerThresholdCritical = (this->*adjust)(pSensor->wLowerCritical, m);
        info.LowerThresholdNonCritical = (this->*adjust)(pSensor->wLowerNonCritical, m);
        info.LowerThresholdFatal = (this->*adjust)(pSensor->wLowerNonRecoverable, m);
        info.UpperThresholdCritical = (this->*adjust)(pSensor->wUpperCritical, m);
        info.UpperThresholdNonCritical = (this->*adjust)(pSensor->wUpperNonCritical, m);
        info.UpperThresholdFatal = (this->*adjust)(pSensor->wUpperNonRecoverable, m);
    }
    info.Description = pSensor->strDescription;
}
