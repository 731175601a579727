// The collection the chip manager keeps for the machine's life: the BIOS Information, whose
// version string identifies the machine model.
#pragma once

#include "SMBiosData.h"

class CSMBiosMachineData : public CSMBiosData
{
public:
    CSMBiosMachineData();
    ~CSMBiosMachineData() override;

    // Stores the first Type 0 structure of the table, wherever it stands; always true.
    bool Initialise(CRawSMBios& raw) override;
    // Decodes the first Type 0 structure into m_Type00 again (empty when there is none).
    void GetStructures();

    bool m_bInit;
};
