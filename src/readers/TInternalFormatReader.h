#pragma once
// Reader of format 22: a CSI data-set file the program wrote itself. The file and its
// reading belong to the CSI set; this reader wraps that read in the reader protocol
// and completes the fields the file does not carry. No import option applies.
#include "model/TCSIReader.h"

class TInternalFormatReader : public TCSIReader {
public:
    explicit TInternalFormatReader(const TCSIReadParams* pParams) : TCSIReader(pParams) {}
    TCSISet* Read(std::string path) override;
};
