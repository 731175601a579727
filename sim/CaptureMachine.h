// The simulator's side of a captured till: its chips as port devices that answer with the captured
// registers, and its SSDs as controllers that answer with the captured data.
#pragma once

#include "CaptureFile.h"
#include "NvmeController.h"
#include "PortBus.h"

#include <vector>

namespace QelSim
{
void AttachCapturedChips(const QelCapture::Capture& capture, PortBus& bus);
std::vector<SsdProfile> CapturedSsds(const QelCapture::Capture& capture);
}  // namespace QelSim
