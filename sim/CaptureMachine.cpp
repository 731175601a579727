#include "CaptureMachine.h"

#include "ItEcModel.h"
#include "SuperIoModel.h"

#include <cstdio>
#include <memory>

namespace QelSim
{
void AttachCapturedChips(const QelCapture::Capture& capture, PortBus& bus)
{
    for (const QelCapture::CapturedChip& chip : capture.chips)
    {
        const std::string name = chip.description.empty() ? "captured chip" : chip.description;
        if (chip.family == QelCapture::CapturedChip::Family::ItEc)
        {
            auto model = std::make_shared<ItEcModel>(name, chip.port);
            for (const auto& bank : chip.banks)
                for (const auto& reg : bank.second)
                    model->SetRegister(reg.first, reg.second);
            bus.Attach(model);
            continue;
        }
        auto model = std::make_shared<SuperIoModel>(name, chip.deviceId, chip.port);
        model->SetMonitor(chip.monitorBase, chip.monitorActive);
        // The captured bytes as they were, low bits of the base register included.
        for (const auto& device : chip.config)
            for (const auto& reg : device.second)
                model->SetConfig(device.first, reg.first, reg.second);
        for (const auto& bank : chip.banks)
            for (const auto& reg : bank.second)
                model->SetMonitorRegister(bank.first, reg.first, reg.second);
        bus.Attach(model);
    }
}

std::vector<SsdProfile> CapturedSsds(const QelCapture::Capture& capture)
{
    std::vector<SsdProfile> ssds;
    for (const QelCapture::CapturedSsd& ssd : capture.ssds)
    {
        SsdProfile profile;
        profile.device = ssd.device;
        profile.namespaces = ssd.namespaces;
        auto recorded = std::make_shared<RecordedNvme>();
        recorded->nsid = ssd.nsid;
        recorded->identifyController = ssd.identifyController;
        recorded->identifyNamespace = ssd.identifyNamespace;
        recorded->overThreshold = ssd.overThreshold;
        recorded->underThreshold = ssd.underThreshold;
        recorded->smartLog = ssd.smartLog;
        if (ssd.smartLog && ssd.smartLog->size() >= 3)
            profile.temperature =
                ((*ssd.smartLog)[2] << 8 | (*ssd.smartLog)[1]) - NvmeController::kKelvinAtZeroCelsius;
        profile.recorded = recorded;
        ssds.push_back(profile);
    }
    return ssds;
}
}  // namespace QelSim
