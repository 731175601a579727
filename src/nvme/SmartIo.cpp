#include "SmartIo.h"

#include "LittleEndian.h"
#include "NvmeIoctl.h"
#include "log.h"

#include <cerrno>
#include <cstring>
#include <vector>

bool SmartIo::nvme_read_identify(NvmeChannel& device, uint32_t nsid, uint8_t cns, void* data, uint32_t length)
{
    memset(data, 0, length);
    nvme_admin_cmd cmd;
    memset(&cmd, 0, sizeof(cmd));
    cmd.opcode = NvmeAdmin::kIdentify;
    cmd.nsid = nsid;
    cmd.addr = reinterpret_cast<uintptr_t>(data);
    cmd.data_len = length;
    cmd.cdw10 = cns;
    const int rc = device.Admin(cmd);
    if (rc < 0)
    {
        Log(LOG_ERROR, "SmartIo::nvme_read_identify - NVME_IOCTL_ADMIN_CMD failed: %s", strerror(errno));
        return false;
    }
    // A positive return is the status of a command the controller refused; its data is not there.
    if (rc > 0)
    {
        Log(LOG_ERROR, "SmartIo::nvme_read_identify - command failed, status 0x%x", rc);
        return false;
    }
    if (cmd.result != 0)
    {
        Log(LOG_ERROR, "SmartIo::nvme_read_identify - result failed: %d", static_cast<int>(cmd.result));
        return false;
    }
    return true;
}

bool SmartIo::getTemperatureThreshold(NvmeChannel& device, bool under, uint32_t& result)
{
    nvme_admin_cmd cmd;
    memset(&cmd, 0, sizeof(cmd));
    cmd.opcode = NvmeAdmin::kGetFeatures;
    cmd.nsid = NvmeAdmin::kAllNamespaces;
    cmd.cdw10 = NvmeAdmin::kTemperatureThresholdDefault;
    cmd.cdw11 = under ? NvmeAdmin::kUnderThreshold : NvmeAdmin::kOverThreshold;
    if (device.Admin(cmd) != 0)
        return false;
    result = cmd.result;
    return true;
}

bool SmartIo::readSmartLog(NvmeChannel& device, uint8_t* log, uint32_t length)
{
    memset(log, 0, length);
    nvme_admin_cmd cmd;
    memset(&cmd, 0, sizeof(cmd));
    cmd.opcode = NvmeAdmin::kGetLogPage;
    cmd.nsid = NvmeAdmin::kAllNamespaces;
    cmd.addr = reinterpret_cast<uintptr_t>(log);
    cmd.data_len = length;
    cmd.cdw10 = NvmeAdmin::kSmartHealthLog;
    return device.Admin(cmd) == 0;
}

void SmartIo::takeControllerIdentity(const uint8_t* controller, IdentifyData& data)
{
    const char* text = reinterpret_cast<const char*>(controller);
    data.m_model.assign(text + NvmeAdmin::kModelOffset, NvmeAdmin::kModelLength);
    data.m_serial.assign(text + NvmeAdmin::kSerialOffset, NvmeAdmin::kSerialLength);
    data.m_fwRev.assign(text + NvmeAdmin::kFirmwareOffset, NvmeAdmin::kFirmwareLength);
}

uint32_t SmartIo::namespaceCount(const uint8_t* controller)
{
    return LittleEndian::Read32(controller + NvmeAdmin::kNamespaceCountOffset);
}

int SmartIo::thresholdCelsius(uint32_t result)
{
    return static_cast<int>(result & 0xFFFF) - NvmeAdmin::kKelvinAtZeroCelsius;
}

bool SmartIo::getIdentifyNVMeData(const std::string& devPath, IdentifyData& data)
{
    const std::unique_ptr<NvmeChannel> opened = CurrentNvmeBackend().Open(devPath);
    if (opened == nullptr)
    {
        Log(LOG_ERROR, "SmartIo::getIdentifyNVMeData - Open %s failed, %d", devPath.c_str(), errno);
        return false;
    }
    NvmeChannel& device = *opened;

    data.m_nsid = device.NamespaceId();

    std::vector<uint8_t> controller(NvmeAdmin::kIdentifySize);
    if (!nvme_read_identify(device, 0, NvmeAdmin::kCnsController, controller.data(),
                            NvmeAdmin::kIdentifySize))
    {
        LogQuick(LOG_ERROR, "SmartIo::getIdentifyNVMeData - nvme_read_identify failed");
        return false;
    }

    // The namespace data is not used; the command shows that the namespace answers.
    std::vector<uint8_t> name_space(NvmeAdmin::kIdentifySize);
    if (data.m_nsid == -1)
    {
        if (namespaceCount(controller.data()) == 1)
            nvme_read_identify(device, 1, NvmeAdmin::kCnsNamespace, name_space.data(),
                               NvmeAdmin::kIdentifySize);
    }
    else if (!nvme_read_identify(device, static_cast<uint32_t>(data.m_nsid), NvmeAdmin::kCnsNamespace,
                                 name_space.data(), NvmeAdmin::kIdentifySize))
    {
        LogQuick(LOG_ERROR, "SmartIo::getIdentifyNVMeData - nvme_read_identify failed id_ns");
        return false;
    }

    // Both thresholds, each logged with its name; degrees Celsius from the Kelvin word.
    const auto threshold = [&device](bool under, int& celsius)
    {
        const char* name = under ? "Under" : "Over";
        uint32_t result = 0;
        if (!getTemperatureThreshold(device, under, result))
        {
            Log(LOG_ERROR, "NvmeSsd::getIdentifyNVMeData - error reading %s Temperature Threshold", name);
            return false;
        }
        Log(LOG_DEBUG, "NvmeSsd::getIdentifyNVMeData - %s Temperature Threshold RESULT: %ld\n", name,
            static_cast<long>(result));
        celsius = thresholdCelsius(result);
        return true;
    };
    if (!threshold(true, data.m_underTempThreshold) || !threshold(false, data.m_overTempThreshold))
        return false;

    takeControllerIdentity(controller.data(), data);
    Log(LOG_DEBUG, "Model Number: %s", data.m_model.c_str());
    Log(LOG_DEBUG, "Serial Number: %s", data.m_serial.c_str());
    Log(LOG_DEBUG, "Firmware Version: %s", data.m_fwRev.c_str());
    return true;
}
