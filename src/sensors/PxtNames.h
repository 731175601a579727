// The fixed texts of the provider's CIM instances.
#pragma once

// Both classes live in this namespace; requests for any other (ignoring case) are refused.
constexpr char kPxtNamespace[] = "root/cimv2";
constexpr char kPxtSystemCreationClassName[] = "Computer System";
constexpr char kPxtSystemName[] = "Kestrel POS Sensor Drivers and System Event Log";
