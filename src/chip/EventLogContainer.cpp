#include "EventLogContainer.h"

#include "ChipStartReport.h"
#include "RawEvLog.h"
#include "RawSMBios.h"
#include "SELog.h"
#include "SMBiosEventLogData.h"
#include "SensorRecordSource.h"
#include "SysRoot.h"
#include "log.h"

namespace
{
constexpr uint8_t kLogStatusValid = 0x01;
constexpr uint8_t kLogStatusFull = 0x02;
}  // namespace

EventLogContainer::EventLogContainer()
    : m_bInit(false), m_pSELog(nullptr), m_pSMBiosLog(nullptr), m_pChipManager(nullptr),
      m_dwLastChangeToken(0)
{
    LogQuick(LOG_DEBUG, "EventLog Constructed");
}

EventLogContainer::~EventLogContainer()
{
    delete m_pSMBiosLog;
    m_pSMBiosLog = nullptr;
    delete m_pSELog;
    m_pSELog = nullptr;
    LogQuick(LOG_DEBUG, "EventLog Destroyed");
}

SENSOR_STATUS EventLogContainer::Initialise(CSensorRecordSource* pChipManager, CRawSMBios* pTable)
{
    if (m_bInit)
    {
        LogQuick(LOG_DEBUG, "EventLogContainer::Initialise - already initialised - ignoring");
        return SS_SUCCESS;
    }
    if (pChipManager == nullptr)
    {
        LogQuick(LOG_ERROR, "EventLogContainer::Initialise - ChipManager==NULL");
        return SS_INTERNAL_ERROR;
    }
    m_pChipManager = pChipManager;
    // m_bInit is still clear: this first decoding names no probes through the chip manager,
    // which is itself still initialising.
    if (!UpdateLog(pTable))
        return SS_EVENT_LOG_ERROR;
    m_bInit = true;
    return SS_SUCCESS;
}

SENSOR_STATUS EventLogContainer::GetSystemEventLog(CSystemEventLog& log)
{
    if (!m_bInit)
    {
        LogQuick(LOG_ERROR, "EventLogContainer::GetEventLog - Not initialised");
        return SS_NOT_INITIALISED;
    }
    if (!UpdateLog())
        return SS_EVENT_LOG_ERROR;
    CopyEventLogInformation(log);
    return SS_SUCCESS;
}

bool EventLogContainer::UpdateLog(CRawSMBios* pTable)
{
    m_Report = EventLogReport();
    if (pTable != nullptr)
        return UpdateSMBiosLog(*pTable) && UpdateSELog();
    // The BIOS may have moved or grown the log since the last request: read the table again.
    CRawSMBios raw;
    return UpdateSMBiosLog(raw) && UpdateSELog();
}

bool EventLogContainer::UpdateSMBiosLog(CRawSMBios& raw)
{
    if (m_pSMBiosLog != nullptr)
    {
        LogQuick(LOG_DEBUG, "EventLogContainer::UpdateSMBiosLog - Deleting old type 15 info");
        m_dwLastChangeToken = m_pSMBiosLog->dwLogChangeToken;
        delete m_pSMBiosLog;
        m_pSMBiosLog = nullptr;
    }
    LogQuick(LOG_DEBUG, "EventLogContainer::UpdateSMBiosLog - Getting new type 15 info");

    m_Report.reached = EventLogReport::Step::SMBiosTable;
    if (!raw.Initialise())
    {
        LogQuick(LOG_ERROR, "EventLogContainer::UpdateSMBiosLog - Cannot initialize RawBYtes");
        return false;
    }
    m_Report.reached = EventLogReport::Step::Type15;
    CSMBiosEventLogData data;
    if (!data.Initialise(raw))
        return false;
    m_pSMBiosLog = new CSMBios_TYPE15(*data.m_pType15);
    m_Report.type15 = *m_pSMBiosLog;
    return true;
}

bool EventLogContainer::UpdateSELog()
{
    if (m_pSELog != nullptr)
    {
        LogQuick(LOG_DEBUG, "EventLogContainer::UpdateSELog - Deleting old SEL info");
        delete m_pSELog;
        m_pSELog = nullptr;
    }
    LogQuick(LOG_DEBUG, "EventLogContainer::UpdateSELog - Getting new SEL info");
    if (m_pSMBiosLog == nullptr)
        return false;

    CRawEvLog rawLog;
    m_Report.reached = EventLogReport::Step::AccessMethod;
    if (m_pSMBiosLog->byAccessMethod != EVENT_LOG_ACCESS_PHYSICAL32)
    {
        Log(LOG_ERROR,
            "EventLogContainer::UpdateSELog - Incorrect AccessMethod %d - Only MMapPhysical32 supported",
            m_pSMBiosLog->byAccessMethod);
        return false;
    }
    m_Report.reached = EventLogReport::Step::Area;
    if (!rawLog.Initialise(m_pSMBiosLog->AccessMethodAddress.PhysicalAddr32, m_pSMBiosLog->wLogAreaLength))
    {
        m_Report.areaDevice = QelSys::SysPath("/dev/mem");
        m_Report.areaError = rawLog.m_iError;
        return false;
    }
    return DecodeArea(rawLog);
}

bool EventLogContainer::DecodeArea(CRawEvLog& rawLog)
{
    m_Report.reached = EventLogReport::Step::Header;
    // Kept even when its initialisation fails; CopyEventLogInformation checks it again.
    delete m_pSELog;
    m_pSELog = new SELog;
    if (!m_pSELog->initialise(this, rawLog, m_pSMBiosLog->Descriptors))
        return false;
    m_Report.reached = EventLogReport::Step::Decoded;
    m_Report.events = m_pSELog->events();
    return true;
}

void EventLogContainer::CopyEventLogInformation(CSystemEventLog& log)
{
    LogQuick(LOG_DEBUG, "EventLogContainer::CopyEventLogInformation");
    if (m_pSELog == nullptr)
    {
        LogQuick(LOG_ERROR, "EventLogContainer::CopyEventLogInformation - Internal Error m_pSELog id NULL");
        return;
    }
    if (m_pSMBiosLog == nullptr)
    {
        LogQuick(LOG_ERROR,
                 "EventLogContainer::CopyEventLogInformation - Internal Error m_pSMBiosLog id NULL");
        return;
    }
    log.LogFull = (m_pSMBiosLog->byLogStatus & kLogStatusFull) != 0;
    log.LogValid = (m_pSMBiosLog->byLogStatus & kLogStatusValid) != 0;
    log.LogMultipleEventCountIncrement = m_pSELog->m_byMultipleEventCountIncrement;
    log.LogMultipleEventTimeWindow = bcd2decimal(m_pSELog->m_byMultipleEventTimeWindow);
    std::vector<std::string> lines;
    m_pSELog->getLogLines(lines);
    log.LogLines.insert(log.LogLines.end(), lines.begin(), lines.end());
}

CSMBios_Sensor* EventLogContainer::GetRawSensorFromFirstChipDevice(uint16_t wHandle)
{
    if (!m_bInit || m_pChipManager == nullptr)
    {
        LogQuick(LOG_ERROR, "EventLogContainer::GetEventLog - Not initialised");
        return nullptr;
    }
    return m_pChipManager->GetRawSensorFromFirstChipDevice(wHandle);
}

bool EventLogContainer::HasTokenChanged() const
{
    if (m_pSMBiosLog == nullptr)
        return false;
    const uint32_t token = m_pSMBiosLog->dwLogChangeToken;
    if (token == m_dwLastChangeToken)
        return false;
    if (m_dwLastChangeToken == 0)
        Log(LOG_DEBUG, "EventLogContainer::HasTokenChanged - First Change from 0x00000000 => 0x%08x", token);
    return true;
}

SENSOR_STATUS DecodeEventLogArea(uint32_t address, const std::vector<uint8_t>& area, CSystemEventLog& log,
                                 EventLogReport& report)
{
    using Step = EventLogReport::Step;
    CRawSMBios raw;
    EventLogContainer container;
    EventLogReport& found = container.m_Report;
    const CSMBios_TYPE15* t = container.UpdateSMBiosLog(raw) ? container.m_pSMBiosLog : nullptr;
    if (t != nullptr)
        found.reached = t->byAccessMethod == EVENT_LOG_ACCESS_PHYSICAL32 ? Step::Area : Step::AccessMethod;
    bool decoded = false;
    if (found.reached == Step::Area && t->AccessMethodAddress.PhysicalAddr32 == address &&
        t->wLogAreaLength == area.size())
    {
        // The container as a started chip's leaves it, the sensors named from the table, with the
        // copy taken from the area given instead of physical memory.
        CTableSensors sensors(raw);
        container.m_pChipManager = &sensors;
        container.m_bInit = true;
        CRawEvLog rawLog;
        rawLog.Copy(area.data(), static_cast<uint32_t>(area.size()));
        decoded = container.DecodeArea(rawLog);
        if (decoded)
            container.CopyEventLogInformation(log);
        container.m_pChipManager = nullptr;
    }
    report = found;
    return decoded ? SS_SUCCESS : SS_EVENT_LOG_ERROR;
}
