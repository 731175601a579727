// The Linux NVMe driver's pass-through interface, as the kernel headers declare it, checked
// against the layout and request numbers this code is written for.
#pragma once

#include <linux/nvme_ioctl.h>
#include <sys/ioctl.h>

#include <cstddef>

static_assert(sizeof(nvme_admin_cmd) == 72, "nvme_admin_cmd is 72 bytes");
static_assert(offsetof(nvme_admin_cmd, opcode) == 0 && offsetof(nvme_admin_cmd, nsid) == 4 &&
                  offsetof(nvme_admin_cmd, addr) == 24 && offsetof(nvme_admin_cmd, data_len) == 36 &&
                  offsetof(nvme_admin_cmd, cdw10) == 40 && offsetof(nvme_admin_cmd, cdw11) == 44 &&
                  offsetof(nvme_admin_cmd, timeout_ms) == 64 && offsetof(nvme_admin_cmd, result) == 68,
              "nvme_admin_cmd field offsets");
static_assert(NVME_IOCTL_ADMIN_CMD == 0xC0484E41, "NVME_IOCTL_ADMIN_CMD");
static_assert(NVME_IOCTL_ID == 0x4E40, "NVME_IOCTL_ID");

namespace NvmeAdmin
{
// Opcodes of the admin commands used here.
constexpr unsigned char kGetLogPage = 0x02;
constexpr unsigned char kIdentify = 0x06;
constexpr unsigned char kGetFeatures = 0x0A;

// Identify: the CNS values, the data size and the fields of the controller data.
constexpr unsigned char kCnsNamespace = 0;
constexpr unsigned char kCnsController = 1;
constexpr unsigned kIdentifySize = 4096;
constexpr size_t kSerialOffset = 4, kSerialLength = 20;
constexpr size_t kModelOffset = 24, kModelLength = 40;
constexpr size_t kFirmwareOffset = 64, kFirmwareLength = 8;
constexpr size_t kNamespaceCountOffset = 516;

// Get Features, Temperature Threshold (feature 4), its default value (select 1); cdw11 selects
// the composite sensor and the under (1) or over (0) threshold.
constexpr unsigned kAllNamespaces = 0xFFFFFFFF;
constexpr unsigned kTemperatureThresholdDefault = 0x104;
constexpr unsigned kUnderThreshold = 0x100000;
constexpr unsigned kOverThreshold = 0;

// Get Log Page, SMART / Health Information (log 2, 128 dwords); the composite temperature is a
// little-endian word at byte 1, in Kelvin.
constexpr unsigned kSmartHealthLog = 0x7F0002;
constexpr unsigned kSmartLogSize = 512;
constexpr size_t kCompositeTemperatureOffset = 1;

constexpr int kKelvinAtZeroCelsius = 273;
}  // namespace NvmeAdmin
