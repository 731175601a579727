// The BIOS's words for the coded fields of its event records: POST results bits, disk bits and
// severity letters.
#include "SELog.h"

#include <cstdio>

namespace
{
struct PostMessage
{
    int word;  // 1: the word at offset 8, 2: the word at offset 12
    unsigned bit;
    const char* text;
};

// In the order the messages appear in a line.
const PostMessage kPostMessages[] = {
    {1, 0, "Channel 2 Timer error"},
    {1, 1, "Master PIC (8259 #1) error"},
    {1, 2, "Slave PIC (8259 #2) error"},
    {1, 3, "CMOS Battery Failure"},
    {1, 4, "CMOS System Options Not Set"},
    {1, 5, "CMOS/BIOS Settings Checksum Error"},
    {1, 6, "CMOS Configuration Error"},
    {1, 7, "Mouse and Keyboard Swapped"},
    {1, 8, "Keyboard Locked"},
    {1, 9, "Keyboard Not Functional"},
    {1, 10, "Keyboard Controller Not Functional"},
    {1, 11, "CMOS Memory Size Different"},
    {1, 12, "Memory Decreased in Size"},
    {1, 13, "Cache Memory Error"},
    {1, 14, "Floppy Drive 0 Error"},
    {1, 15, "Floppy Drive 1 Error"},
    {1, 16, "Floppy Controller Failure"},
    {1, 17, "Number of ATA Drives Reduced Error"},
    {1, 18, "CMOS Time Not Set"},
    {1, 19, "DDC Monitor Configuration Change  "},
    {1, 28, "Hard Disk 0 failure"},
    {1, 29, "Hard Disk 1 failure"},
    {1, 30, "Hard Disk 2 failure"},
    {1, 31, "Hard Disk 3 failure"},
    {2, 0, "Memory failure"},
    {2, 1, "VPD Invalid"},
    {2, 7, "PCI Memory Conflict"},
    {2, 8, "PCI I/O Conflict"},
    {2, 9, "PCI IRQ Conflict"},
    {2, 10, "PNP Memory Conflict"},
    {2, 11, "PNP 32 bit Memory Conflict"},
    {2, 12, "PNP I/O Conflict"},
    {2, 13, "PNP IRQ Conflict"},
    {2, 14, "PNP DMA Conflict"},
    {2, 15, "Bad PNP Serial ID Checksum"},
    {2, 16, "Bad PNP Resource Data Checksum"},
    {2, 17, "Static Resource Conflict"},
    {2, 18, "NVRAM Checksum Error - NVRAM Cleared"},
    {2, 19, "System Board Device Resource Conflict"},
    {2, 20, "Primary Output Device Not Found"},
    {2, 21, "Primary Input Device Not Found"},
    {2, 22, "Primary Boot Device Not Found"},
    {2, 23, "NVRAM Cleared By Jumper"},
    {2, 24, "NVRAM Data Invalid - NVRAM Cleared"},
    {2, 25, "FDC Resource Conflict"},
    {2, 26, "Primary ATA Controller Resource Conflict"},
    {2, 27, "Secondary ATA Controller Resource Conflict"},
    {2, 28, "Parallel Port Resource Conflict"},
    {2, 29, "Serial Port 1 Resource Conflict"},
    {2, 30, "Serial Port 2 Resource Conflict"},
    {2, 31, "Audio Resource Conflict"},
};

// Appends one message, after the separator when an earlier one was added.
void addStr(std::string& text, bool& bAdded, const char* message)
{
    if (bAdded)
        text += SELog::kPostMessageSeparator;
    text += message;
    bAdded = true;
}
}  // namespace

// A script splitting a line on ":" keeps the POST text in one field, and a reader sees where
// one message ends.
const char SELog::kPostMessageSeparator[] = "; ";

std::string SELog::getPostBitmapString(uint32_t dwWord1, uint32_t dwWord2)
{
    std::string text;
    bool bAdded = false;
    for (const PostMessage& m : kPostMessages)
    {
        const uint32_t word = m.word == 1 ? dwWord1 : dwWord2;
        if (word & (1u << m.bit))
            addStr(text, bAdded, m.text);
    }
    return text;
}

std::string SELog::getDiskInformationString(uint32_t dwWord1, uint32_t /*dwWord2*/)
{
    if (dwWord1 & (1u << 28))
        return "Hard Disk 0";
    if (dwWord1 & (1u << 29))
        return "Hard Disk 1";
    if (dwWord1 & (1u << 30))
        return "Hard Disk 2";
    if (dwWord1 & (1u << 31))
        return "Hard Disk 3";
    return "Hard Disk";
}

std::string SELog::getOemSeverityString(uint8_t bySeverity)
{
    switch (bySeverity)
    {
    case 'I':
        return "Information";
    case 'W':
        return "Warning";
    case 'E':
        return "Error";
    default:
        break;
    }
    // A byte that is no printable character is shown in hexadecimal: a zero byte would end
    // the line where it is passed on as a C string, and other control bytes would garble it.
    if (bySeverity < 0x20 || bySeverity > 0x7E)
    {
        char text[16];
        snprintf(text, sizeof(text), "Unknown(0x%02x)", bySeverity);
        return text;
    }
    return std::string("Unknown(") + static_cast<char>(bySeverity) + ")";
}
