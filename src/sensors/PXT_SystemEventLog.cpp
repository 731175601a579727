#include "PXT_SystemEventLog.h"

#include "CmpiCalls.h"
#include "PxtNames.h"

const char* const PXT_SystemEventLog::kClassName = "PXT_SystemEventLog";
const char* const PXT_SystemEventLog::kInstanceName = "Kestrel POS System Event Log";

namespace
{
const char kDescription[] = "The Kestrel POS System Event Log is a motherboard level storage device that "
                            "contains a record of critical system events such as POST errors, disk check "
                            "errors, etc.";
}  // namespace

PXT_SystemEventLog::PXT_SystemEventLog()
    : LogFull(false), LogMultipleEventCountIncrement(0), LogMultipleEventTimeWindow(0), LogValid(false)
{
}

void PXT_SystemEventLog::setLogLines(const std::vector<std::string>& lines)
{
    LogLines = lines;
}

CMPIObjectPath* PXT_SystemEventLog::getObjectPath(const CMPIBroker* broker) const
{
    return CmpiCalls::NewPathWithName(broker, kClassName, kInstanceName);
}

CMPIInstance* PXT_SystemEventLog::getInstance(const CMPIBroker* broker) const
{
    using namespace CmpiCalls;
    CMPIInstance* instance = NewInstance(broker, getObjectPath(broker));

    SetChars(instance, "Caption", kInstanceName);
    SetChars(instance, "CreationClassName", kClassName);
    SetChars(instance, "Description", kDescription);
    SetChars(instance, "DeviceID", kInstanceName);
    SetBoolean(instance, "LogFull", LogFull);
    // An empty log has no LogLines property at all.
    if (!LogLines.empty())
    {
        CMPIArray* lines = NewArray(broker, static_cast<CMPICount>(LogLines.size()), CMPI_chars);
        for (size_t i = 0; i < LogLines.size(); ++i)
            SetElementChars(lines, static_cast<CMPICount>(i), LogLines[i]);
        SetArray(instance, "LogLines", lines, CMPI_charsA);
    }
    SetUint8(instance, "LogMultipleEventCountIncrement", LogMultipleEventCountIncrement);
    SetUint8(instance, "LogMultipleEventTimeWindow", LogMultipleEventTimeWindow);
    SetBoolean(instance, "LogValid", LogValid);
    SetChars(instance, "Name", kInstanceName);
    SetChars(instance, "SystemCreationClassName", kPxtSystemCreationClassName);
    SetChars(instance, "SystemName", kPxtSystemName);
    return instance;
}
