#include "SMBiosTables.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dirent.h>

namespace QelTest
{
std::unique_ptr<CRawSMBios> RawHolding(const std::vector<uint8_t>& table)
{
    auto raw = std::make_unique<CRawSMBios>();
    raw->m_pBytes = new uint8_t[table.size()];
    if (!table.empty())
        memcpy(raw->m_pBytes, table.data(), table.size());
    raw->m_dwLength = static_cast<uint32_t>(table.size());
    raw->m_bInit = true;
    return raw;
}

std::vector<uint8_t> Concat(const std::vector<QelImage::Structure>& structures)
{
    std::vector<uint8_t> table;
    for (const QelImage::Structure& s : structures)
    {
        const std::vector<uint8_t> bytes = s.Encode();
        table.insert(table.end(), bytes.begin(), bytes.end());
    }
    return table;
}
std::string CorpusDirectory()
{
    return std::string(QEL_SHARED_DIR) + "/smbios-corpus";
}

std::vector<std::string> CorpusDumps()
{
    std::vector<std::string> names;
    if (DIR* dir = opendir((CorpusDirectory() + "/dumps").c_str()))
    {
        while (const dirent* entry = readdir(dir))
        {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0)
                names.push_back(name.substr(0, name.size() - 4));
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}
std::string CorpusTestName(const std::string& dump)
{
    std::string id = dump;
    for (char& c : id)
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return id;
}
std::string Format(const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}
}  // namespace QelTest
