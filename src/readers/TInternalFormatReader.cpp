#include "readers/TInternalFormatReader.h"

#include "platform/Paths.h"
#include "platform/Report.h"
#include "readers/ReaderHelpers.h"

TCSISet* TInternalFormatReader::Read(std::string path)
{
    m_pCSISet = std::make_unique<TCSISet>();
    TCSISet& set = *m_pCSISet;
    set.m_nFormat = m_params.m_nFormat;
    set.m_strName = vx::StemOf(path);

    // A slice axis outside 0..2 would index the per-axis fields out of range.
    const bool read = set.ReadDataFile(path) && set.IsLoaded() && Validate() && set.m_nSliceAxis >= 0 &&
                      set.m_nSliceAxis <= 2;
    if (!read) {
        vx::Report("Data file " + path + " cannot be read or is invalid.", vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    const int s = set.m_nSliceAxis;
    if (set.m_bMultiSlice != 0) {
        // The file keeps no per-slice phases: every slice starts unphased.
        for (int k = 0; k < set.m_nDim[s]; ++k)
            set.m_slicePhases.push_back(TSlicePhase{});
    }
    SetSliceThicknessFromGrid(set);
    set.BuildKSpaceMask(false);
    return HandOverSet();
}
