// Which point-of-sale model the library runs on, judged by the BIOS version string.
#pragma once

#include <string>

class CPOSSystem
{
public:
    // The one machine-model object, shared by both libraries.
    static CPOSSystem s_instance;

    CPOSSystem() = default;

    // Stores the version and derives the machine type: its first two characters, or empty.
    void SetBiosVersion(const std::string& biosVersion);

    // True when the machine type equals the code exactly (case-sensitive).
    bool CheckMachineType(const std::string& machineType) const;

    bool IsCedarHi() const;
    bool IsCedarLoBirch() const;
    bool IsFenwick() const;
    bool IsOspreyCeleron() const;
    bool IsOspreyI3() const;
    bool IsOsprey() const;
    bool IsHarrow() const;
    bool IsLarchMoss() const;
    bool IsQuill() const;
    bool IsAmberCoral() const;
    bool IsJetIvory() const;
    bool IsWren() const;
    bool IsLark() const;
    bool IsFalcon() const;

    bool IsSupportedPOSSystem() const;
    // Assigns the model's hardware-monitor driver name; false (and driverName untouched) for an
    // unknown model.
    bool GetHwmonDriverName(std::string& driverName) const;
    // Every model of the table is served by the library's own port-I/O drivers.
    bool UseInternalDriver() const;

    std::string m_BiosVersion;
    std::string m_MachineType;

private:
    struct Model;
    const Model* FindModel() const;
};
