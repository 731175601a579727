// Objects of the CMPI host as text: object paths as CIM shows them
// (root/cimv2:PXT_NumericSensor.Name="CPU(00000033)") and instances as MOF instance declarations.
#pragma once

#include "CimBroker.h"

#include <string>

namespace QelCim
{
// A value as a MOF literal: "text" (escaped), 42, TRUE, NULL, {"a", "b"}.
std::string MofValue(const Value& value);
// namespace:Class.Key="value",...
std::string PathText(const ObjectPath& path);
// "// path" then "instance of Class { Property = value; ... };", one property per line.
std::string MofInstance(const Instance& instance);
}  // namespace QelCim
