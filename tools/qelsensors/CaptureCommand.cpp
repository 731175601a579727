// qelsensors capture FILE: what the libraries read of this till, in one archive that can be handed
// on and replayed (qelsim up FILE ROOT) or decoded (qelsensors smbios|sel --from-dump FILE).
//
// The chips are not probed by the capture itself: the library's own start-up and one reading pass
// run as they always do, behind a port backend that passes every access through unchanged and
// notes it; the registers are recovered from that trace afterwards. So a capture makes exactly the
// port accesses of `qelsensors sensors`, and no more writes.
#include "Commands.h"
#include "Readings.h"
#include "SmbiosDevices.h"
#include "Support.h"

#include "BuildInfo.h"
#include "CaptureFile.h"
#include "ChipDriver.h"
#include "ChipStartReport.h"
#include "ChipTable.h"
#include "ChipTrace.h"
#include "POSSystem.h"
#include "PhysMem.h"
#include "PortBackend.h"
#include "RawSMBios.h"
#include "SMBiosEventLogData.h"
#include "SysRoot.h"
#include "chip.h"

#include "NvmeBackend.h"
#include "NvmeIoctl.h"
#include "NvmeSsd.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <glob.h>
#include <map>
#include <mutex>
#include <unistd.h>

namespace QelTool
{
namespace
{
const char kCommand[] = "capture";
constexpr size_t kMaxSensorConf = 64 * 1024;

void Progress(const std::string& message)
{
    fprintf(stderr, "qelsensors capture: %s\n", message.c_str());
}

// Passes every access to the channel it wraps and notes it, with its outcome.
class RecordingChannel : public PortChannel
{
public:
    RecordingChannel(std::unique_ptr<PortChannel> inner, std::vector<QelCapture::TracedAccess>& trace,
                     std::mutex& lock)
        : m_inner(std::move(inner)), m_trace(trace), m_lock(lock)
    {
    }

    bool Read(uint16_t port, uint8_t& value) override
    {
        const bool done = m_inner->Read(port, value);
        Note(port, done ? value : 0, false, done);
        return done;
    }

    bool Write(uint16_t port, uint8_t value) override
    {
        const bool done = m_inner->Write(port, value);
        Note(port, value, true, done);
        return done;
    }

    // A capture takes turns at the ports like every other reader.
    int TakeTurn(unsigned boundMs) override { return m_inner->TakeTurn(boundMs); }
    void GiveTurn() override { m_inner->GiveTurn(); }

private:
    void Note(uint16_t port, uint8_t value, bool write, bool done)
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_trace.push_back({port, value, write, done});
    }

    std::unique_ptr<PortChannel> m_inner;
    std::vector<QelCapture::TracedAccess>& m_trace;
    std::mutex& m_lock;
};

// Installed for the reading pass only; the library's port code is the same with or without it.
class RecordingBackend : public PortBackend
{
public:
    RecordingBackend() : m_inner(CurrentPortBackend()), m_previous(InstallPortBackend(this)) {}
    ~RecordingBackend() override { InstallPortBackend(m_previous); }
    RecordingBackend(const RecordingBackend&) = delete;
    RecordingBackend& operator=(const RecordingBackend&) = delete;

    std::unique_ptr<PortChannel> Open() override
    {
        std::unique_ptr<PortChannel> channel = m_inner.Open();
        if (channel == nullptr)
            return nullptr;
        return std::make_unique<RecordingChannel>(std::move(channel), m_trace, m_lock);
    }

    std::vector<QelCapture::TracedAccess> Trace()
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        return m_trace;
    }

private:
    PortBackend& m_inner;
    PortBackend* m_previous;
    std::mutex m_lock;
    std::vector<QelCapture::TracedAccess> m_trace;
};

// The model the library took the BIOS version for.
std::string ModelName(const CPOSSystem& system)
{
    const char* model = MachineModelName(system);
    if (model == nullptr)
        return "unsupported (machine type \"" + system.m_MachineType + "\")";
    return std::string(model) + " (" + system.m_MachineType + ")";
}

bool IsEc(const std::string& description)
{
    for (Chip chip : {Chip::IT5571, Chip::IT5571_v2})
        for (const SmbiosName& name : ChipRow(chip).smbiosNames)
            if (name.description != nullptr && description == name.description)
                return true;
    return false;
}

// At most limit bytes of a file under the system root; nothing when there is no such file.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0 && text.size() < limit)
        text.append(buffer, static_cast<size_t>(n));
    close(fd);
    if (n < 0 || text.size() > limit)
        return std::nullopt;
    return text;
}

// length bytes of physical memory from address, as the library maps them.
std::optional<std::vector<uint8_t>> ReadPhysical(uint64_t address, size_t length)
{
    CPhysMemFile file;
    if (!file.Open())
        return std::nullopt;
    const long pageSize = sysconf(_SC_PAGESIZE);
    const uint64_t page = pageSize > 0 ? static_cast<uint64_t>(pageSize) : 4096;
    const uint64_t base = address / page * page;
    CPhysMemMapping mapping;
    const size_t delta = static_cast<size_t>(address - base);
    if (!mapping.Map(file, base, delta + length) || mapping.Length() < delta + length)
        return std::nullopt;
    return std::vector<uint8_t>(mapping.Bytes() + delta, mapping.Bytes() + delta + length);
}

// The legacy entry point the library found: the first anchor on a 16-byte boundary of the BIOS
// segment whose 32 bytes are those it copied.
std::optional<uint32_t> LegacyEntryPointAddress(const std::array<uint8_t, 32>& found)
{
    const std::optional<std::vector<uint8_t>> segment = ReadPhysical(0xF0000, 0x10000);
    if (!segment)
        return std::nullopt;
    for (size_t at = 0; at + found.size() <= segment->size(); at += 16)
        if (memcmp(segment->data() + at, found.data(), found.size()) == 0)
            return static_cast<uint32_t>(0xF0000 + at);
    return std::nullopt;
}

// Passes every NVMe command to the device and keeps its answer, the first time it is answered.
// Replay answers with what is kept, as done and with result 0: an Identify that ended otherwise
// (which the NVMe module takes for a failure) is kept as not answered.
class RecordingNvmeChannel : public NvmeChannel
{
public:
    RecordingNvmeChannel(std::unique_ptr<NvmeChannel> inner, QelCapture::CapturedSsd& ssd)
        : m_inner(std::move(inner)), m_ssd(ssd)
    {
    }

    int NamespaceId() override
    {
        const int id = m_inner->NamespaceId();
        m_ssd.nsid = id;
        return id;
    }

    int Admin(nvme_admin_cmd& cmd) override
    {
        const int rc = m_inner->Admin(cmd);
        if (rc == 0)
            Keep(cmd);
        return rc;
    }

private:
    template <typename T>
    static void KeepFirst(std::optional<T>& slot, const T& answer)
    {
        if (!slot)
            slot = answer;
    }

    void Keep(const nvme_admin_cmd& cmd)
    {
        const uint8_t* data = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(cmd.addr));
        const std::vector<uint8_t> bytes =
            data != nullptr ? std::vector<uint8_t>(data, data + cmd.data_len) : std::vector<uint8_t>();
        const uint32_t selector = cmd.cdw10 & 0xFF;
        if (cmd.opcode == NvmeAdmin::kIdentify && cmd.result == 0 && selector == NvmeAdmin::kCnsController)
            KeepFirst(m_ssd.identifyController, bytes);
        else if (cmd.opcode == NvmeAdmin::kIdentify && cmd.result == 0 &&
                 selector == NvmeAdmin::kCnsNamespace)
            KeepFirst(m_ssd.identifyNamespace, bytes);
        else if (cmd.opcode == NvmeAdmin::kGetFeatures)
            KeepFirst(cmd.cdw11 == NvmeAdmin::kUnderThreshold ? m_ssd.underThreshold : m_ssd.overThreshold,
                      cmd.result);
        else if (cmd.opcode == NvmeAdmin::kGetLogPage)
            KeepFirst(m_ssd.smartLog, bytes);
    }

    std::unique_ptr<NvmeChannel> m_inner;
    QelCapture::CapturedSsd& m_ssd;
};

// Installed while the NVMe module finds and reads the SSDs: each device it opens is a captured
// SSD, with the answers to the commands the module sent it.
class RecordingNvmeBackend : public NvmeBackend
{
public:
    RecordingNvmeBackend() : m_inner(CurrentNvmeBackend()), m_previous(InstallNvmeBackend(this)) {}
    ~RecordingNvmeBackend() override { InstallNvmeBackend(m_previous); }
    RecordingNvmeBackend(const RecordingNvmeBackend&) = delete;
    RecordingNvmeBackend& operator=(const RecordingNvmeBackend&) = delete;

    std::unique_ptr<NvmeChannel> Open(const std::string& devPath) override
    {
        const bool first = m_ssds.count(devPath) == 0;
        QelCapture::CapturedSsd& ssd = m_ssds[devPath];
        if (first)
        {
            ssd.device = devPath.substr(devPath.rfind('/') + 1);
            Progress("reading the SSD " + devPath);
        }
        std::unique_ptr<NvmeChannel> channel = m_inner.Open(devPath);
        if (channel == nullptr)
        {
            const int error = errno;
            if (first)
                Progress("cannot open " + QelSys::SysPath(devPath) +
                         "; it is kept as a drive that does not answer");
            errno = error;
            return nullptr;
        }
        return std::make_unique<RecordingNvmeChannel>(std::move(channel), ssd);
    }

    // In device order.
    std::vector<QelCapture::CapturedSsd> Ssds() const
    {
        std::vector<QelCapture::CapturedSsd> ssds;
        for (const auto& [devPath, ssd] : m_ssds)
            ssds.push_back(ssd);
        return ssds;
    }

private:
    NvmeBackend& m_inner;
    NvmeBackend* m_previous;
    std::map<std::string, QelCapture::CapturedSsd> m_ssds;  // by device path
};

// The NVMe controllers with their answers to the commands the provider sends at start and on
// reading: the NVMe module finds and reads them once, as the provider does, through the recording
// backend.
std::vector<QelCapture::CapturedSsd> CaptureSsds()
{
    std::vector<QelCapture::CapturedSsd> ssds;
    {
        RecordingNvmeBackend recording;
        NvmeSsd nvme;
        nvme.scanNVMeDevices();
        nvme.readSensors();
        ssds = recording.Ssds();
    }
    // The namespace devices beside each controller.
    for (QelCapture::CapturedSsd& ssd : ssds)
    {
        glob_t found;
        memset(&found, 0, sizeof(found));
        const std::string pattern = QelSys::SysPath("/dev/" + ssd.device) + "n[0-9]*";
        if (glob(pattern.c_str(), 0, nullptr, &found) == 0)
            ssd.namespaces =
                static_cast<uint32_t>(std::min<size_t>(found.gl_pathc, QelCapture::kMaxNamespaces));
        globfree(&found);
    }
    return ssds;
}

std::string UtcNow()
{
    const time_t now = time(nullptr);
    struct tm utc;
    gmtime_r(&now, &utc);
    char text[32];
    strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace

const char* CaptureUsage()
{
    return "usage: qelsensors capture FILE [--sysroot DIR] [--verbose]\n\n"
           "Writes what the libraries read of this machine into FILE, a tar archive: the SMBIOS entry\n"
           "point and table (smbios/dmi.bin, as 'dmidecode --dump-bin' writes it), the event-log area,\n"
           "each monitoring chip's registers, the NVMe SSDs' identify, threshold and SMART data, the\n"
           "BIOS version and model, this tool's version and the time. The chips are read by the\n"
           "library's own start-up and one reading pass, nothing more. Needs root. FILE appears whole\n"
           "or not at all. Replay it with 'qelsim up FILE ROOT', or decode it anywhere with\n"
           "'qelsensors smbios --from-dump FILE' and 'qelsensors sel --from-dump FILE'.\n\n"
           "options:\n"
           "  --sysroot DIR   capture the machine under DIR instead of / (a served machine image)\n"
           "  --verbose       show the libraries' debug lines on standard error\n\n"
           "exit status:\n"
           "  0 captured; 1 the machine could not be read or FILE not written; 2 bad usage\n";
}

int RunCapture(Context& context, const std::vector<std::string>& args)
{
    if (args.size() != 1 || context.json)
    {
        fprintf(stderr, "qelsensors capture: %s\n%s",
                context.json   ? "--json does not apply: the capture is a file"
                : args.empty() ? "FILE needed"
                               : ("unexpected argument '" + args[1] + "'").c_str(),
                CaptureUsage());
        return kExitUsage;
    }
    const std::string& path = args.front();
    if (std::optional<Failure> failure = CheckPhysMem())
        return Report(context, kCommand, *failure);
    if (std::optional<Failure> failure = CheckPortDevice())
        return Report(context, kCommand, *failure);
    // The capture holds the till's serial numbers: for its owner alone.
    AtomicFile file;
    if (std::optional<Failure> failure = file.Create(path, 0600))
        return Report(context, kCommand, *failure);

    QelCapture::Capture capture;
    capture.tool = std::string("qelsensors ") + QEL_VERSION;
    capture.time = UtcNow();

    Progress("reading the SMBIOS table");
    CRawSMBios raw;
    capture.uefi = raw.isEfi();
    if (!raw.Initialise())
        return Report(
            context, kCommand,
            Failure{"cannot read the SMBIOS table; 'qelsensors smbios' says why\n" + LibraryLogHint(),
                    std::nullopt});
    memcpy(capture.entryPoint.data(), &raw.m_Header, sizeof(raw.m_Header));
    capture.table.assign(raw.m_pBytes, raw.m_pBytes + raw.m_dwLength);
    capture.tableAddress = raw.m_Header.SmbiosAddr;
    std::optional<uint32_t> entryPoint;
    if (capture.uefi)
    {
        const std::optional<std::string> systab =
            ReadSmallFile(QelSys::SysPath("/sys/firmware/efi/systab"), 4096);
        if (systab)
        {
            capture.systab = *systab;
            entryPoint = QelCapture::SystabEntryPoint(*systab);
        }
    }
    else
    {
        entryPoint = LegacyEntryPointAddress(capture.entryPoint);
    }
    if (!entryPoint)
        return Report(context, kCommand,
                      Failure{"cannot find again where the SMBIOS entry point lies", std::nullopt});
    capture.entryPointAddress = *entryPoint;

    CSMBiosEventLogData eventLog;
    if (eventLog.Initialise(raw) && eventLog.m_pType15 != nullptr &&
        eventLog.m_pType15->byAccessMethod == EVENT_LOG_ACCESS_PHYSICAL32)
    {
        const CSMBios_TYPE15& t = *eventLog.m_pType15;
        char where[64];
        snprintf(where, sizeof(where), "reading the event-log area at 0x%08X (%u bytes)",
                 t.AccessMethodAddress.PhysicalAddr32, t.wLogAreaLength);
        Progress(where);
        const std::optional<std::vector<uint8_t>> area =
            ReadPhysical(t.AccessMethodAddress.PhysicalAddr32, t.wLogAreaLength);
        if (area)
        {
            capture.eventLogAddress = t.AccessMethodAddress.PhysicalAddr32;
            capture.eventLogArea = *area;
        }
        else
        {
            Progress("the event-log area cannot be read; the capture goes without it");
        }
    }

    Progress("starting the chips and reading every sensor once");
    std::vector<QelCapture::TracedAccess> trace;
    CChip chip;
    MachineReadings readings;
    {
        RecordingBackend recording;
        readings = ReadMachine(chip);
        trace = recording.Trace();
    }
    if (readings.started)
        capture.chipStart = StatusText(*readings.started);
    if (readings.failure)
        Progress("the chips did not read cleanly (the capture keeps what they answered): " +
                 readings.failure->message.substr(0, readings.failure->message.find('\n')));
    capture.biosVersion = CPOSSystem::s_instance.m_BiosVersion;
    capture.model = ModelName(CPOSSystem::s_instance);

    std::vector<QelCapture::EcHint> ecs;
    std::map<uint16_t, std::string> superIo;
    for (const ChipDeviceStart& device : StartReportOf(chip).devices)
    {
        if (device.board.byAddressType != CChipDriver::kAddressTypeIoPort || device.board.dwAddress > 0xFFFE)
            continue;
        if (IsEc(device.board.strDescription))
            ecs.push_back({static_cast<uint16_t>(device.board.dwAddress), device.board.strDescription});
        else
            superIo[static_cast<uint16_t>(device.board.dwAddress & 0xFFF8)] = device.board.strDescription;
    }
    capture.chips = QelCapture::ChipsFromTrace(trace, ecs, superIo);
    Progress(std::to_string(trace.size()) + " port accesses, " + std::to_string(capture.chips.size()) +
             (capture.chips.size() == 1 ? " chip" : " chips"));

    capture.ssds = CaptureSsds();
    capture.sensorConf = ReadSmallFile(QelSys::SysPath("/etc/tarn/sensor.conf"), kMaxSensorConf);

    std::vector<uint8_t> bytes;
    try
    {
        bytes = QelCapture::EncodeCapture(capture, static_cast<uint64_t>(time(nullptr)));
        // Never hand on a file that qelsim would refuse.
        QelCapture::DecodeCapture(bytes.data(), bytes.size());
    }
    catch (const QelCapture::CaptureError& e)
    {
        return Report(context, kCommand,
                      Failure{std::string("cannot build the capture: ") + e.what(), std::nullopt});
    }
    if (std::optional<Failure> failure = file.Commit(bytes.data(), bytes.size()))
        return Report(context, kCommand, *failure);
    Progress("wrote " + path + " (" + std::to_string(bytes.size()) + " bytes)");
    return kExitOk;
}
}  // namespace QelTool
