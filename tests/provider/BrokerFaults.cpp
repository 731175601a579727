#include "BrokerFaults.h"

#include <cassert>

namespace ProviderTest
{
namespace
{
std::atomic<BrokerFaults*> s_active{nullptr};
// The broker's instance table, and a copy of it with setProperty interposed; every instance the
// broker makes while faults are active is given the copy.
std::atomic<const CMPIInstanceFT*> s_instanceFT{nullptr};
CMPIInstanceFT s_interposedInstanceFT;
std::once_flag s_instanceFTCopied;

void Set(CMPIStatus* rc, CMPIStatus status)
{
    if (rc != nullptr)
        *rc = status;
}
}  // namespace

struct BrokerFaults::Interposed
{
    static CMPIInstance* NewInstance(const CMPIBroker* mb, const CMPIObjectPath* op, CMPIStatus* rc)
    {
        BrokerFaults& faults = *s_active.load();
        if (!Take(faults.m_newInstance))
        {
            Set(rc, faults.Failure("newInstance failed (test fault)"));
            return nullptr;
        }
        CMPIInstance* instance = faults.m_original->newInstance(mb, op, rc);
        if (instance != nullptr)
        {
            std::call_once(s_instanceFTCopied,
                           [instance]
                           {
                               s_instanceFT = instance->ft;
                               s_interposedInstanceFT = *instance->ft;
                               s_interposedInstanceFT.setProperty = &SetProperty;
                           });
            instance->ft = &s_interposedInstanceFT;
        }
        return instance;
    }

    static CMPIObjectPath* NewObjectPath(const CMPIBroker* mb, const char* ns, const char* cn, CMPIStatus* rc)
    {
        BrokerFaults& faults = *s_active.load();
        if (!Take(faults.m_newObjectPath))
        {
            Set(rc, faults.Failure("newObjectPath failed (test fault)"));
            return nullptr;
        }
        return faults.m_original->newObjectPath(mb, ns, cn, rc);
    }

    static CMPIArray* NewArray(const CMPIBroker* mb, CMPICount size, CMPIType type, CMPIStatus* rc)
    {
        BrokerFaults& faults = *s_active.load();
        if (!Take(faults.m_newArray))
        {
            Set(rc, faults.Failure("newArray failed (test fault)"));
            return nullptr;
        }
        return faults.m_original->newArray(mb, size, type, rc);
    }

    static CMPIStatus SetProperty(const CMPIInstance* instance, const char* name, const CMPIValue* value,
                                  CMPIType type)
    {
        BrokerFaults* faults = s_active.load();
        if (faults != nullptr && name != nullptr && faults->SetPropertyFails(name))
            return faults->Failure(std::string("setProperty ") + name + " failed (test fault)");
        return s_instanceFT.load()->setProperty(instance, name, value, type);
    }
};

BrokerFaults::BrokerFaults(QelCim::Broker& broker)
    : m_handle(const_cast<CMPIBroker*>(broker.Handle())), m_original(m_handle->eft), m_interposed(*m_original)
{
    BrokerFaults* expected = nullptr;
    const bool first = s_active.compare_exchange_strong(expected, this);
    assert(first && "one BrokerFaults at a time");
    (void)first;
    m_interposed.newInstance = &Interposed::NewInstance;
    m_interposed.newObjectPath = &Interposed::NewObjectPath;
    m_interposed.newArray = &Interposed::NewArray;
    m_handle->eft = &m_interposed;
}

BrokerFaults::~BrokerFaults()
{
    m_handle->eft = m_original;
    s_active = nullptr;
}

void BrokerFaults::FailSetProperty(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failingProperty = name;
}

bool BrokerFaults::SetPropertyFails(const char* name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_failingProperty.empty() && m_failingProperty == name;
}

bool BrokerFaults::Take(std::atomic<int>& budget)
{
    int left = budget.load();
    while (left > 0)
        if (budget.compare_exchange_weak(left, left - 1))
            return true;
    return left < 0;
}

CMPIStatus BrokerFaults::Failure(const std::string& message) const
{
    return CMPIStatus{CMPI_RC_ERR_FAILED, m_original->newString(m_handle, message.c_str(), nullptr)};
}
}  // namespace ProviderTest
