// Structure tables for tests of the SMBIOS collections, held the way CRawSMBios holds a copy.
#pragma once

#include "MachineImage.h"
#include "RawSMBios.h"
#include "SMBiosData.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace QelTest
{
// A collection that opens the base's walk and checked reads to tests.
class CTestCollection : public CSMBiosData
{
public:
    bool Initialise(CRawSMBios& raw) override
    {
        UseTable(raw);
        return true;
    }

    using CSMBiosData::GetByte;
    using CSMBiosData::GetBytes;
    using CSMBiosData::GetDWord;
    using CSMBiosData::GetFieldString;
    using CSMBiosData::GetNextTable;
    using CSMBiosData::GetString;
    using CSMBiosData::GetWord;
    using CSMBiosData::HasField;
    using CSMBiosData::InTable;
    using CSMBiosData::StoreType00;
    using CSMBiosData::WalkStructures;
};

// A CRawSMBios whose copy is exactly these bytes, in a heap block of their size, so that
// AddressSanitizer reports any read past the table's end.
std::unique_ptr<CRawSMBios> RawHolding(const std::vector<uint8_t>& table);

// The encoded structures one after another.
std::vector<uint8_t> Concat(const std::vector<QelImage::Structure>& structures);

// The shared corpus of real tables: dumps/NAME.bin and dmidecode's reading, dmidecode/NAME.txt.
std::string CorpusDirectory();
// The names of its dumps, sorted; none where the shared data is absent.
std::vector<std::string> CorpusDumps();
// A dump's name as a test name: every character but letters and digits becomes '_'.
std::string CorpusTestName(const std::string& dump);

// printf into a string (up to 255 characters), for values written as dmidecode writes them.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
}  // namespace QelTest
