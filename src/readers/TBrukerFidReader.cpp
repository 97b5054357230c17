#include "readers/TBrukerFidReader.h"

#include "platform/Paths.h"
#include "readers/ReaderHelpers.h"
#include "readers/TBrukerParameterFile.h"

bool TBrukerFidReader::ParseHeader(std::string methodPath)
{
    return ParseParameterFiles(methodPath, "##$CSITotalMatrix", true);
}

TCSISet* TBrukerFidReader::Read(std::string path)
{
    StartSet(path, 3);
    const std::string folder = vx::FolderOf(path);
    const std::optional<std::string> methodPath = FindParameterFile(folder, "method", "method.txt");
    if (!methodPath)
        return DiscardSet();
    if (!ParseHeader(*methodPath) || !ValidateOrReport(path, "##$PVM_SpecMatrix", "##$CSITotalMatrix"))
        return DiscardSet();

    TCSISet& set = *m_pCSISet;
    // The grid is stored read direction first, and reversed along every axis at the end.
    SetFileLayout(true, false);
    m_params.m_nAxisOrder[0] = m_nReadAxis;
    m_params.m_nAxisOrder[1] = m_nPhaseAxis;
    m_params.m_nAxisOrder[2] = set.m_nSliceAxis;
    SetSliceThicknessFromGrid(set);
    set.m_bEchoShifted = 0;
    set.m_nEchoPosition = 0;

    // Every sample is a real and an imaginary 32-bit word.
    if (!DataFileHolds(path, 4) || !ReadRawData(path) || !FillCSISet())
        return DiscardSet();
    if (!m_params.m_bLoadRawData && !PostRead())
        return DiscardSet();
    return FinishRead();
}

bool TBrukerFidReader::PostRead()
{
    return TransformToSpectra(true, true, true);
}
