// The CMPI host's words for what it shows: status codes by name, object paths as CIM
// shows them (root/cimv2:PXT_NumericSensor.Name="CPU(00000033)") and instances as MOF instance
// declarations.
#pragma once

#include "CimBroker.h"

#include <string>

namespace QelCim
{
// "CMPI_RC_ERR_INVALID_CLASS", ...
const char* StatusName(CMPIrc rc);

// A value as a MOF literal: "text" (escaped), 42, TRUE, NULL, {"a", "b"}.
std::string MofValue(const Value& value);
// namespace:Class.Key="value",...
std::string PathText(const ObjectPath& path);
// "// path" then "instance of Class { Property = value; ... };", one property per line.
std::string MofInstance(const Instance& instance);
}  // namespace QelCim
