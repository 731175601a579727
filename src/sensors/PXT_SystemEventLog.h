// PXT_SystemEventLog: the last fetched copy of the BIOS system event log, already decoded into
// lines by the chip library, and its one CIM instance.
#pragma once

#include "cmpi/Cmpi.h"

#include <cstdint>
#include <string>
#include <vector>

class PXT_SystemEventLog
{
public:
    static const char* const kClassName;
    static const char* const kInstanceName;

    PXT_SystemEventLog();
    virtual ~PXT_SystemEventLog() = default;

    void setLogFull(bool value) { LogFull = value; }
    void setLogValid(bool value) { LogValid = value; }
    void setLogMultipleEventCountIncrement(uint8_t value) { LogMultipleEventCountIncrement = value; }
    void setLogMultipleEventTimeWindow(uint8_t value) { LogMultipleEventTimeWindow = value; }
    // Replaces the lines by copies of the given ones.
    void setLogLines(const std::vector<std::string>& lines);
    // Empties the lines; flags and counts stay.
    void clear() { LogLines.clear(); }

    const char* getName() const { return kInstanceName; }
    const std::vector<std::string>& getLogLines() const { return LogLines; }

    // New broker objects; a broker failure is thrown as the CMPIStatus it returned.
    CMPIObjectPath* getObjectPath(const CMPIBroker* broker) const;
    CMPIInstance* getInstance(const CMPIBroker* broker) const;

private:
    bool LogFull;
    std::vector<std::string> LogLines;
    uint8_t LogMultipleEventCountIncrement;
    uint8_t LogMultipleEventTimeWindow;
    bool LogValid;
};
