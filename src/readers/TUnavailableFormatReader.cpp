#include "readers/TUnavailableFormatReader.h"

#include "readers/CSIFormats.h"
#include "platform/Report.h"

TUnavailableFormatReader::TUnavailableFormatReader(const TCSIReadParams* pParams, int nFormat)
    : TCSIReader(pParams), m_nFormatIndex(nFormat)
{
}

TCSISet* TUnavailableFormatReader::Read(std::string path)
{
    vx::Report("Can not read " + path + ": the format \"" + FormatName(m_nFormatIndex) +
                   "\" is not available in this version.",
               vx::ReportIcon::Exclamation);
    return nullptr;
}
