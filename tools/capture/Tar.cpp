#include "Tar.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace QelCapture
{
namespace
{
constexpr size_t kNameField = 100;
constexpr size_t kModeOffset = 100, kUidOffset = 108, kGidOffset = 116, kSizeOffset = 124, kMtimeOffset = 136;
constexpr size_t kChecksumOffset = 148, kTypeOffset = 156, kMagicOffset = 257, kVersionOffset = 263;
constexpr size_t kUnameOffset = 265, kGnameOffset = 297, kPrefixOffset = 345, kPrefixField = 155;
constexpr char kMagic[] = "ustar";
// Every member is its owner's alone: a capture holds the till's serial numbers, and tar gives the
// files it unpacks the modes they were archived with.
constexpr uint64_t kMemberMode = 0600;

void PutOctal(uint8_t* field, size_t width, uint64_t value)
{
    // width - 1 digits and a NUL, as ustar readers expect.
    for (size_t i = width - 1; i-- > 0;)
    {
        field[i] = static_cast<uint8_t>('0' + (value & 7));
        value >>= 3;
    }
    field[width - 1] = 0;
}

unsigned HeaderSum(const uint8_t* header)
{
    unsigned sum = 0;
    for (size_t i = 0; i < kTarBlock; ++i)
        sum += i >= kChecksumOffset && i < kChecksumOffset + 8 ? ' ' : header[i];
    return sum;
}

// An octal field: digits, optionally led by blanks and ended by NUL or blank.
bool ParseOctal(const uint8_t* field, size_t width, uint64_t& value)
{
    size_t i = 0;
    while (i < width && field[i] == ' ')
        ++i;
    value = 0;
    size_t digits = 0;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i, ++digits)
    {
        if (value > (UINT64_MAX >> 3))
            return false;
        value = value << 3 | static_cast<uint64_t>(field[i] - '0');
    }
    for (; i < width; ++i)
        if (field[i] != 0 && field[i] != ' ')
            return false;
    return digits > 0;
}

std::string Field(const uint8_t* field, size_t width)
{
    const uint8_t* end = std::find(field, field + width, 0);
    return std::string(reinterpret_cast<const char*>(field), static_cast<size_t>(end - field));
}

// Only names a capture can hold: relative, plain characters, no empty, "." or ".." part.
std::string NameProblem(const std::string& name)
{
    if (name.empty())
        return "an empty name";
    if (name[0] == '/')
        return "an absolute name";
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E)
            return "a name with a blank or a control character";
    size_t start = 0;
    while (start <= name.size())
    {
        const size_t end = std::min(name.find('/', start), name.size());
        const std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return "a name that is not a plain relative path";
        start = end + 1;
    }
    return "";
}

bool AllZero(const uint8_t* block)
{
    return std::all_of(block, block + kTarBlock, [](uint8_t b) { return b == 0; });
}
}  // namespace

std::vector<uint8_t> WriteTar(const std::vector<TarMember>& members, uint64_t mtime)
{
    std::vector<uint8_t> out;
    for (const TarMember& member : members)
    {
        const std::string problem = NameProblem(member.name);
        if (!problem.empty() || member.name.size() > kNameField)
            throw CaptureError("cannot archive '" + member.name +
                               "': " + (problem.empty() ? "a name longer than 100 characters" : problem));
        uint8_t header[kTarBlock] = {};
        memcpy(header, member.name.data(), member.name.size());
        PutOctal(header + kModeOffset, 8, kMemberMode);
        PutOctal(header + kUidOffset, 8, 0);
        PutOctal(header + kGidOffset, 8, 0);
        PutOctal(header + kSizeOffset, 12, member.data.size());
        PutOctal(header + kMtimeOffset, 12, mtime);
        header[kTypeOffset] = '0';
        memcpy(header + kMagicOffset, kMagic, 6);
        memcpy(header + kVersionOffset, "00", 2);
        memcpy(header + kUnameOffset, "root", 4);
        memcpy(header + kGnameOffset, "root", 4);
        // Six digits, NUL, blank: the form tar itself writes.
        PutOctal(header + kChecksumOffset, 7, HeaderSum(header));
        header[kChecksumOffset + 7] = ' ';
        out.insert(out.end(), header, header + kTarBlock);
        out.insert(out.end(), member.data.begin(), member.data.end());
        out.resize(out.size() + (kTarBlock - member.data.size() % kTarBlock) % kTarBlock, 0);
    }
    out.resize(out.size() + 2 * kTarBlock, 0);
    return out;
}

bool LooksLikeTar(const uint8_t* bytes, size_t size)
{
    return size >= kTarBlock && memcmp(bytes + kMagicOffset, kMagic, 5) == 0;
}

std::vector<TarMember> ReadTar(const uint8_t* bytes, size_t size)
{
    std::vector<TarMember> members;
    std::set<std::string> names;
    size_t offset = 0;
    for (;;)
    {
        if (size - offset < kTarBlock)
            throw CaptureError(offset == 0 ? "not an archive: shorter than one 512-byte header"
                                           : "truncated archive: it ends without its end-of-archive blocks");
        const uint8_t* header = bytes + offset;
        if (AllZero(header))
            break;
        const std::string at = "archive header at byte " + std::to_string(offset);
        if (memcmp(header + kMagicOffset, kMagic, 5) != 0)
            throw CaptureError(at + ": no ustar magic (not a tar archive, or a damaged one)");
        uint64_t stored = 0;
        if (!ParseOctal(header + kChecksumOffset, 8, stored) || stored != HeaderSum(header))
            throw CaptureError(at + ": bad header checksum");
        std::string name = Field(header, kNameField);
        const std::string prefix = Field(header + kPrefixOffset, kPrefixField);
        if (!prefix.empty())
            name = prefix + "/" + name;
        const std::string problem = NameProblem(name);
        if (!problem.empty())
            throw CaptureError(at + ": refused member '" + name + "': " + problem);
        const uint8_t type = header[kTypeOffset];
        if (type != '0' && type != 0)
            throw CaptureError("member '" + name + "': not a plain file (type '" +
                               std::string(1, static_cast<char>(type)) +
                               "'); a capture holds plain files only");
        uint64_t length = 0;
        if (!ParseOctal(header + kSizeOffset, 12, length))
            throw CaptureError("member '" + name + "': bad size field");
        if (length > kMaxTarMemberSize)
            throw CaptureError("member '" + name + "': " + std::to_string(length) + " bytes, more than the " +
                               std::to_string(kMaxTarMemberSize) + " a capture member may hold");
        if (members.size() >= kMaxTarMembers)
            throw CaptureError("more than " + std::to_string(kMaxTarMembers) + " members");
        if (!names.insert(name).second)
            throw CaptureError("member '" + name + "' appears twice");
        offset += kTarBlock;
        const size_t padded = static_cast<size_t>((length + kTarBlock - 1) / kTarBlock * kTarBlock);
        if (size - offset < padded)
            throw CaptureError("truncated archive: member '" + name + "' announces " +
                               std::to_string(length) + " bytes (" + std::to_string(padded) +
                               " with the padding to whole blocks), " + std::to_string(size - offset) +
                               " remain");
        members.push_back({name, std::vector<uint8_t>(bytes + offset, bytes + offset + length)});
        offset += padded;
    }
    return members;
}
}  // namespace QelCapture
