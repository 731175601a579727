// Any bytes as a file handed to `qelsim up` or `--from-dump`: a capture (a tar archive) or a
// dmidecode dump. The reader must refuse cleanly or bring back a capture that holds together: the
// table as long as its entry point says, member data exactly as the archive held it, and a capture
// that is written again and read back unchanged. Broken invariants abort.
//
// The header checksums of an archive stop most mutations at the first header, so an input that
// begins with "members\n" is the members themselves, archived here with good checksums: the
// manifest.json text, then each further member as a line "\n@@ NAME\n" and its bytes. That form
// reaches the manifest, chip and SSD checks.
#include "CaptureFile.h"
#include "FuzzSupport.h"
#include "LittleEndian.h"

#include <cstdint>
#include <cstring>

namespace
{
using QelFuzz::Check;

void CheckSame(const QelCapture::Capture& a, const QelCapture::Capture& b)
{
    Check(a.tool == b.tool && a.time == b.time && a.biosVersion == b.biosVersion && a.model == b.model);
    Check(a.entryPoint == b.entryPoint && a.table == b.table && a.tableAddress == b.tableAddress);
    Check(a.entryPointAddress == b.entryPointAddress && a.uefi == b.uefi && a.systab == b.systab);
    Check(a.eventLogAddress == b.eventLogAddress && a.eventLogArea == b.eventLogArea);
    Check(a.chips.size() == b.chips.size() && a.ssds.size() == b.ssds.size());
    for (size_t i = 0; i < a.chips.size(); ++i)
        Check(a.chips[i].config == b.chips[i].config && a.chips[i].banks == b.chips[i].banks &&
              a.chips[i].port == b.chips[i].port && a.chips[i].monitorBase == b.chips[i].monitorBase);
    for (size_t i = 0; i < a.ssds.size(); ++i)
        Check(a.ssds[i].device == b.ssds[i].device && a.ssds[i].smartLog == b.ssds[i].smartLog &&
              a.ssds[i].identifyController == b.ssds[i].identifyController &&
              a.ssds[i].overThreshold == b.ssds[i].overThreshold);
    Check(a.sensorConf == b.sensorConf);
}

// The "members\n" form as an archive; empty when a name cannot be archived.
std::vector<uint8_t> Archived(const uint8_t* data, size_t size)
{
    static const std::string kSeparator = "\n@@ ";
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<QelCapture::TarMember> members;
    std::string name = "manifest.json";
    size_t at = 8;  // after "members\n"
    for (;;)
    {
        const size_t next = text.find(kSeparator, at);
        const std::string body = text.substr(at, next == std::string::npos ? std::string::npos : next - at);
        members.push_back({name, std::vector<uint8_t>(body.begin(), body.end())});
        if (next == std::string::npos)
            break;
        const size_t nameEnd = text.find('\n', next + kSeparator.size());
        if (nameEnd == std::string::npos)
            break;
        name = text.substr(next + kSeparator.size(), nameEnd - next - kSeparator.size());
        at = nameEnd + 1;
    }
    try
    {
        return QelCapture::WriteTar(members, 0);
    }
    catch (const QelCapture::CaptureError&)
    {
        return {};
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QelFuzz::UseEmptySysRoot();
    // The reader is given exactly the input, in a buffer of its own size, so a read past its end
    // is the sanitizer's finding.
    std::vector<uint8_t> bytes(data, data + size);
    if (size >= 8 && memcmp(data, "members\n", 8) == 0)
        bytes = Archived(data, size);
    QelCapture::Capture capture;
    try
    {
        capture = QelCapture::ReadSmbiosSource(bytes.data(), bytes.size());
    }
    catch (const QelCapture::CaptureError& e)
    {
        Check(strlen(e.what()) > 0);
        return 0;
    }
    Check(memcmp(capture.entryPoint.data(), "_SM_", 4) == 0);
    Check(LittleEndian::Read16(&capture.entryPoint[0x16]) == capture.table.size());

    // Written again, it reads back as it was; its dmidecode dump holds the same table.
    const std::vector<uint8_t> dump = QelImage::WriteDump(capture.entryPoint, capture.table);
    Check(dump.size() == QelImage::kDumpTableOffset + capture.table.size());
    Check(std::equal(capture.table.begin(), capture.table.end(), dump.begin() + QelImage::kDumpTableOffset));
    if (!QelCapture::LooksLikeTar(bytes.data(), bytes.size()))
        return 0;
    const std::vector<uint8_t> again = QelCapture::EncodeCapture(capture, 0);
    CheckSame(QelCapture::DecodeCapture(again.data(), again.size()), capture);
    return 0;
}
