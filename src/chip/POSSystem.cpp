#include "POSSystem.h"

#include "POSSystemModels.h"

#include <cstring>

CPOSSystem CPOSSystem::s_instance;

// The model table, in the order the models are asked for. Osprey is two rows (Celeron and i3),
// as it is asked for as one model.
struct CPOSSystem::Model
{
    bool (CPOSSystem::*query)() const;
    const char* hwmonDriverName;
};

namespace
{
const char* const kDriverW83627ehf = "internal_w83627ehf";
}  // namespace

const CPOSSystem::Model* CPOSSystem::FindModel() const
{
    static const Model kModels[] = {
        {&CPOSSystem::IsCedarHi, kDriverW83627ehf},     {&CPOSSystem::IsCedarLoBirch, kDriverW83627ehf},
        {&CPOSSystem::IsFenwick, "internal_nct6106"},   {&CPOSSystem::IsOsprey, kDriverW83627ehf},
        {&CPOSSystem::IsHarrow, kDriverW83627ehf},      {&CPOSSystem::IsLarchMoss, "internal_nct6793"},
        {&CPOSSystem::IsQuill, "internal_nct6793"},     {&CPOSSystem::IsAmberCoral, "internal_nct6796"},
        {&CPOSSystem::IsJetIvory, "internal_nct6776F"}, {&CPOSSystem::IsWren, "internal_it5571"},
        {&CPOSSystem::IsLark, "internal_it5571"},       {&CPOSSystem::IsFalcon, "internal_it5571"},
    };
    for (const Model& model : kModels)
    {
        if ((this->*model.query)())
            return &model;
    }
    return nullptr;
}

void CPOSSystem::SetBiosVersion(const std::string& biosVersion)
{
    m_BiosVersion = biosVersion;
    m_MachineType.clear();
    if (m_BiosVersion.size() > 1)
        m_MachineType = m_BiosVersion.substr(0, 2);
}

bool CPOSSystem::CheckMachineType(const std::string& machineType) const
{
    return m_MachineType.size() == machineType.size() &&
           std::memcmp(m_MachineType.data(), machineType.data(), m_MachineType.size()) == 0;
}

bool CPOSSystem::IsCedarHi() const
{
    return CheckMachineType(POSModel::kCedarHi);
}
bool CPOSSystem::IsCedarLoBirch() const
{
    return CheckMachineType(POSModel::kCedarLoBirch);
}
bool CPOSSystem::IsFenwick() const
{
    return CheckMachineType(POSModel::kFenwick);
}
bool CPOSSystem::IsOspreyCeleron() const
{
    return CheckMachineType(POSModel::kOspreyCeleron);
}
bool CPOSSystem::IsOspreyI3() const
{
    return CheckMachineType(POSModel::kOspreyI3);
}
bool CPOSSystem::IsOsprey() const
{
    return IsOspreyCeleron() || IsOspreyI3();
}
bool CPOSSystem::IsHarrow() const
{
    return CheckMachineType(POSModel::kHarrow);
}
bool CPOSSystem::IsLarchMoss() const
{
    return CheckMachineType(POSModel::kLarchMoss);
}
bool CPOSSystem::IsQuill() const
{
    return CheckMachineType(POSModel::kQuill);
}
bool CPOSSystem::IsAmberCoral() const
{
    return CheckMachineType(POSModel::kAmberCoral);
}
bool CPOSSystem::IsJetIvory() const
{
    return CheckMachineType(POSModel::kJetIvory);
}
bool CPOSSystem::IsWren() const
{
    return CheckMachineType(POSModel::kWren);
}
bool CPOSSystem::IsLark() const
{
    return CheckMachineType(POSModel::kLark);
}
bool CPOSSystem::IsFalcon() const
{
    return CheckMachineType(POSModel::kFalcon);
}

bool CPOSSystem::IsSupportedPOSSystem() const
{
    return FindModel() != nullptr;
}

bool CPOSSystem::GetHwmonDriverName(std::string& driverName) const
{
    const Model* model = FindModel();
    if (model == nullptr)
        return false;
    driverName = model->hwmonDriverName;
    return true;
}

bool CPOSSystem::UseInternalDriver() const
{
    return FindModel() != nullptr;
}
