#include "ChipManager.h"

#include "ChipDevice.h"
#include "ChipDeviceFactory.h"
#include "POSSystem.h"
#include "RawSMBios.h"
#include "SMBiosChipData.h"
#include "log.h"

#include <cassert>
#include <list>
#include <utility>

CChipManager::CChipManager() : m_bInit(false)
{
    LogQuick(LOG_DEBUG, "CChipManager Constructed");
}

CChipManager::~CChipManager()
{
    DestroyDevices();
    LogQuick(LOG_DEBUG, "CChipManager Destroyed");
    // The event log container, the machine data, the hwmon reader and the version string go
    // next, in reverse order of declaration.
}

void CChipManager::DestroyDevices()
{
    for (CChipDevice* pDevice : m_vChipDevices)
        delete pDevice;
    m_vChipDevices.clear();
}

SENSOR_STATUS CChipManager::Initialise()
{
    assert(m_bInit == false && "CChipManager::Initialise");

    m_StartReport = ChipStartReport();
    CRawSMBios rawSMBios;
    const SENSOR_STATUS status = Start(rawSMBios);
    m_StartReport.status = status;
    if (status != SS_SUCCESS)
    {
        // A recognised till whose chips cannot be started (a locked-down kernel without their
        // driver, say) still has its event log, with the limit events naming their probe from the
        // table as the started device would.
        if (m_StartReport.reached > ChipStartReport::Step::Model && !m_EventLogContainer.m_bInit)
        {
            m_pTableSensors = std::make_unique<CTableSensors>(rawSMBios);
            StartEventLog(m_pTableSensors.get(), rawSMBios);
        }
        m_StartReport.eventLog = m_EventLogContainer.m_Report;
        return status;
    }

    // Last: the container looks sensor records up through this manager, which takes over from
    // the table where an earlier start failed.
    if (m_EventLogContainer.m_bInit)
        m_EventLogContainer.m_pChipManager = this;
    else
        StartEventLog(this, rawSMBios);
    m_pTableSensors.reset();
    m_StartReport.eventLog = m_EventLogContainer.m_Report;

    m_bInit = true;
    LogQuick(LOG_DEBUG, "CChipManager::Initialise - Initialised Ok");
    return SS_SUCCESS;
}

void CChipManager::StartEventLog(CSensorRecordSource* pSource, CRawSMBios& rawSMBios)
{
    const SENSOR_STATUS logStatus = m_EventLogContainer.Initialise(pSource, &rawSMBios);
    if (logStatus != SS_SUCCESS)
    {
        Log(LOG_ERROR, "CChipManager::Initialise - m_EventLogContainer.Initialise failed sscode=0x%08x",
            logStatus);
        if (pSource == this)
            LogQuick(LOG_INFO, " --- Policy is to continue with Sensors only");
    }
}

bool CChipManager::HasEventLog() const
{
    return m_bInit || m_EventLogContainer.m_bInit;
}

// The steps up to the devices; m_StartReport.reached follows them, so it names the one that fails.
SENSOR_STATUS CChipManager::Start(CRawSMBios& rawSMBios)
{
    using Step = ChipStartReport::Step;
    m_StartReport.reached = Step::SMBiosTable;
    if (!rawSMBios.Initialise())
        return SS_SMBIOS_ERROR;
    m_StartReport.tableSource = rawSMBios.m_Source;
    m_StartReport.reached = Step::BiosInformation;
    if (!m_MachineData.Initialise(rawSMBios))
        return SS_SMBIOS_ERROR;

    // The model is judged before any hardware is touched.
    m_StartReport.reached = Step::Model;
    m_strBiosVersion = m_MachineData.m_Type00.strVersion;
    CPOSSystem::s_instance.SetBiosVersion(m_strBiosVersion);
    if (!CPOSSystem::s_instance.IsSupportedPOSSystem())
    {
        Log(LOG_ERROR,
            "CChipManager::Initialise - Kestrel System with Bios Version %s Not supported at this time",
            m_strBiosVersion.c_str());
        return SS_UNSUPPORTED_SYSTEM;
    }

    m_StartReport.reached = Step::HwMonDriver;
    SENSOR_STATUS status = InitialiseHwMonDriver();
    if (status != SS_SUCCESS)
    {
        Log(LOG_ERROR, "CChipManager::Initialise - cannot initialise HWMON driver - err=%d",
            static_cast<int>(status));
        return status;
    }

    m_StartReport.reached = Step::ManagementDevices;
    CSMBiosChipData chipData;
    if (!chipData.Initialise(rawSMBios))
        return SS_SMBIOS_ERROR;

    m_StartReport.reached = Step::Devices;
    for (size_t i = 0; i < chipData.m_vDevices.size(); ++i)
    {
        ChipDeviceStart tried;
        tried.device = static_cast<uint32_t>(i);
        if (chipData.m_vDevices[i] != nullptr)
            tried.board = *chipData.m_vDevices[i];
        CChipDevice* pDevice = CChipDeviceFactory::CreateInstance(this, chipData, static_cast<int>(i));
        tried.hasDriver = pDevice != nullptr;
        status = pDevice == nullptr ? SS_NO_DRIVER : pDevice->Initialise(rawSMBios);
        tried.status = status;
        if (pDevice != nullptr && status != SS_SUCCESS)
        {
            tried.kernelClaim = pDevice->KernelClaim();
            tried.kernelProblem = pDevice->KernelProblem();
        }
        if (pDevice != nullptr && status == SS_SUCCESS)
            tried.readThrough = pDevice->ReadThrough();
        m_StartReport.devices.push_back(tried);
        if (status != SS_SUCCESS)
        {
            // Nothing of a failed start stays: a retry numbers its devices from 0 again, so the
            // handles it gives out are the ones a first success would have given.
            delete pDevice;
            DestroyDevices();
            return status;
        }
        Log(LOG_DEBUG, "CChipManager::Initialise - Adding chip device 0x%08x to manager list",
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(pDevice)));
        m_vChipDevices.push_back(pDevice);
    }
    m_StartReport.reached = Step::Started;
    return SS_SUCCESS;
}

SENSOR_STATUS CChipManager::InitialiseHwMonDriver()
{
    if (CPOSSystem::s_instance.UseInternalDriver())
        return SS_SUCCESS;
    std::string driverName;
    if (!CPOSSystem::s_instance.GetHwmonDriverName(driverName))
        return SS_INTERNAL_ERROR;
    return m_HwMon.Initialise(driverName) ? SS_SUCCESS : SS_HWMON_ERROR;
}

SENSOR_STATUS CChipManager::EnumerateSensorHandles(CSensorHandleList& list)
{
    assert(m_bInit == true && "CChipManager::EnumerateSensorHandles");

    std::vector<std::list<uint16_t>> perDevice(m_vChipDevices.size());
    size_t total = 0;
    for (size_t d = 0; d < m_vChipDevices.size(); ++d)
    {
        if (m_vChipDevices[d] != nullptr)
            m_vChipDevices[d]->GetSensorHandles(perDevice[d]);
        total += perDevice[d].size();
    }
    if (total == 0)
    {
        LogQuick(LOG_ERROR, "CChipManager::EnumSensorHandles - No Sensor Handles found");
        return SS_NO_SENSORS;
    }
    for (size_t d = 0; d < perDevice.size(); ++d)
        for (uint16_t wHandle : perDevice[d])
            list.push_back(MakeSensorHandle(static_cast<uint32_t>(d), wHandle));
    Log(LOG_DEBUG, "CChipManager::EnumSensorHandles - Number of handles=%d", static_cast<int>(total));
    return SS_SUCCESS;
}

CChipDevice* CChipManager::DeviceFor(SENSOR_HANDLE handle) const
{
    const uint32_t index = DeviceIndexOf(handle);
    return index < m_vChipDevices.size() ? m_vChipDevices[index] : nullptr;
}

SENSOR_STATUS CChipManager::GetSensorInformation(SENSOR_HANDLE handle, CSensorInformation& info)
{
    assert(m_bInit == true && "CChipManager::GetSensorInformation");
    CChipDevice* pDevice = DeviceFor(handle);
    if (pDevice == nullptr)
    {
        Log(LOG_ERROR, "CChipManager::GetSensorInformation - No device for Handle 0x08%x", handle);
        return SS_INVALID_HANDLE;
    }
    return pDevice->GetSensorInformation(SmbiosHandleOf(handle), info);
}

SENSOR_STATUS CChipManager::ReadSensor(SENSOR_HANDLE handle, CSensorReading& reading)
{
    assert(m_bInit == true && "CChipManager::ReadSensor");
    CChipDevice* pDevice = DeviceFor(handle);
    if (pDevice == nullptr)
    {
        Log(LOG_ERROR, "CChipManager::ReadSensor - No device for Handle 0x08%x", handle);
        return SS_INVALID_HANDLE;
    }
    return pDevice->ReadSensor(SmbiosHandleOf(handle), reading);
}

SENSOR_STATUS CChipManager::GetSystemEventLog(CSystemEventLog& log)
{
    assert(HasEventLog() && "CChipManager::GetSystemEventLog");
    const SENSOR_STATUS status = m_EventLogContainer.GetSystemEventLog(log);
    m_StartReport.eventLog = m_EventLogContainer.m_Report;
    return status;
}

SENSOR_STATUS CChipManager::ReadEventLogWithoutChips(CSystemEventLog& log)
{
    CNoSensorRecords none;
    EventLogContainer container;
    const SENSOR_STATUS status = container.Initialise(&none);
    if (status == SS_SUCCESS)
        container.CopyEventLogInformation(log);
    m_StartReport.eventLog = std::move(container.m_Report);
    return status;
}

CSMBios_Sensor* CChipManager::GetRawSensorFromFirstChipDevice(uint16_t wHandle)
{
    assert(m_bInit == true && "CChipManager::GetRawSensorFromFirstChipDevice");
    if (m_vChipDevices.empty() || m_vChipDevices[0] == nullptr)
    {
        LogQuick(LOG_ERROR, "CChipManager::GetRawSensorFromFirstChipDevice - No device at index 0");
        return nullptr;
    }
    return m_vChipDevices[0]->m_Sensors.Get(wHandle);
}
