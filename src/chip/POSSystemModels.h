// The machine-type codes of the supported point-of-sale models: the first two characters of the
// BIOS version string of SMBIOS Type 0.
#pragma once

namespace POSModel
{
constexpr const char* kCedarHi = "K2";
constexpr const char* kCedarLoBirch = "K1";
constexpr const char* kFenwick = "M2";
constexpr const char* kOspreyCeleron = "M1";
constexpr const char* kOspreyI3 = "M4";
constexpr const char* kHarrow = "M3";
constexpr const char* kLarchMoss = "M5";
constexpr const char* kQuill = "M6";
constexpr const char* kAmberCoral = "K4";
constexpr const char* kJetIvory = "K3";
constexpr const char* kWren = "M7";
constexpr const char* kLark = "M8";
constexpr const char* kFalcon = "K5";
}  // namespace POSModel
