#pragma once
// Stands for a built-in format whose reader this build does not have: reading says so
// instead of ending without a word.
#include <string>

#include "model/TCSIReader.h"

class TUnavailableFormatReader : public TCSIReader {
public:
    TUnavailableFormatReader(const TCSIReadParams* pParams, int nFormat);
    TCSISet* Read(std::string path) override;

private:
    int m_nFormatIndex;
};
