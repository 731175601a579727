#include "chip.h"

#include "ChipManager.h"
#include "ChipStartReport.h"
#include "log.h"

CChip::CChip() : m_bInit(false), m_pChipManager(nullptr)
{
    LogQuick(LOG_DEBUG, "CChip constructor");
    pthread_mutex_init(&m_Mutex, nullptr);
    m_pChipManager = new CChipManager();
    LogQuick(LOG_DEBUG, "CChip constructed");
}

CChip::~CChip()
{
    Log(LOG_DEBUG, "CChip destructor - m_pChipManager=0x%p", static_cast<void*>(m_pChipManager));
    delete m_pChipManager;
    m_pChipManager = nullptr;
    pthread_mutex_destroy(&m_Mutex);
    LogQuick(LOG_DEBUG, "CChip destroyed");
}

SENSOR_STATUS CChip::Initialise()
{
    pthread_mutex_lock(&m_Mutex);
    Log(LOG_TRACE, "API: Initialise, m_bInit=%x", m_bInit ? 1u : 0u);
    SENSOR_STATUS status = SS_SUCCESS;
    if (!m_bInit)
    {
        status = m_pChipManager->Initialise();
        if (status == SS_SUCCESS)
            m_bInit = true;
    }
    pthread_mutex_unlock(&m_Mutex);
    Log(LOG_TRACE, "API: Initialise exit, sscode=0x%x", status);
    return status;
}

SENSOR_STATUS CChip::EnumerateSensorHandles(CSensorHandleList& list)
{
    Log(LOG_TRACE, "API: EnumerateSensorHandles(0x%p), m_bInit=%x", static_cast<void*>(&list),
        m_bInit ? 1u : 0u);
    const SENSOR_STATUS status = m_bInit ? m_pChipManager->EnumerateSensorHandles(list) : SS_NOT_INITIALISED;
    Log(LOG_TRACE, "API: EnumerateSensorHandles exit, sscode=0x%x", status);
    return status;
}

SENSOR_STATUS CChip::GetSensorInformation(SENSOR_HANDLE handle, CSensorInformation& info)
{
    Log(LOG_TRACE, "API: GetSensorInformation(0x%08x,0x%08x), m_bInit=%x", handle,
        static_cast<unsigned>(reinterpret_cast<uintptr_t>(&info)), m_bInit ? 1u : 0u);
    const SENSOR_STATUS status =
        m_bInit ? m_pChipManager->GetSensorInformation(handle, info) : SS_NOT_INITIALISED;
    Log(LOG_TRACE, "API: GetSensorInformation exit, sscode=0x%x", status);
    return status;
}

SENSOR_STATUS CChip::ReadSensor(SENSOR_HANDLE handle, CSensorReading& reading)
{
    Log(LOG_TRACE, "API: ReadSensor(0x%08x,0x%08x), m_bInit=%x", handle,
        static_cast<unsigned>(reinterpret_cast<uintptr_t>(&reading)), m_bInit ? 1u : 0u);
    const SENSOR_STATUS status = m_bInit ? m_pChipManager->ReadSensor(handle, reading) : SS_NOT_INITIALISED;
    Log(LOG_TRACE, "API: ReadSensor exit, sscode=0x%x", status);
    return status;
}

SENSOR_STATUS CChip::GetSystemEventLog(CSystemEventLog& log)
{
    Log(LOG_TRACE, "API: GetSystemEventLog(0x%08x), bInit=%x",
        static_cast<unsigned>(reinterpret_cast<uintptr_t>(&log)), m_bInit ? 1u : 0u);
    // The log is there without the chips too, where the model is known but its chips would not start.
    const SENSOR_STATUS status =
        m_pChipManager->HasEventLog() ? m_pChipManager->GetSystemEventLog(log) : SS_NOT_INITIALISED;
    Log(LOG_TRACE, "API: GetSystemEventLog exit, sscode=0x%x", status);
    return status;
}

const ChipStartReport& StartReportOf(const CChip& chip)
{
    return chip.m_pChipManager->m_StartReport;
}

SENSOR_STATUS ReadEventLogWithoutChips(CChip& chip, CSystemEventLog& log)
{
    return chip.m_pChipManager->ReadEventLogWithoutChips(log);
}
