// The collection the chip manager keeps for the machine's life: the BIOS Information, whose
// version string identifies the machine model.
#pragma once

#include "SMBiosData.h"

class CSMBiosMachineData : public CSMBiosData
{
public:
    CSMBiosMachineData();
    ~CSMBiosMachineData() override;

    // Stores the first structure of the table as Type 0; always true.
    bool Initialise(CRawSMBios& raw) override;
    // Decodes the first structure of the table into m_Type00 again.
    void GetStructures();

    bool m_bInit;
};
