#include "readers/TPhilipsSdatReader.h"

#include <algorithm>

#include "model/math/Geometry.h"
#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "readers/ReaderHelpers.h"

TCSISet* TPhilipsSdatReader::Read(std::string path)
{
    m_pCSISet = std::make_unique<TCSISet>();
    TCSISet& set = *m_pCSISet;
    set.m_nFormat = m_params.m_nFormat;

    // The extension is taken from the file name, so that a "." in a folder name does
    // not count.
    const std::string extension = vx::ToLowerAscii(vx::ExtensionOf(path));
    if (extension != ".spar" && extension != ".sdat") {
        vx::Report("The data files should be SPAR/SDAT files.", vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    set.m_strName = vx::StemOf(path);
    const std::string base = vx::WithoutExtension(path);
    const std::string sparPath = CompanionPath(base, ".SPAR");
    if (!ParseSPAR(sparPath) || !Validate()) {
        vx::Report(SPARRefusal(sparPath), vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    const std::optional<std::string> sdatPath = FoundCompanion(base, ".SDAT", "data file");
    if (!sdatPath)
        return DiscardSet();
    AngulationMatrix(set.m_fAngulation[0], set.m_fAngulation[1], set.m_fAngulation[2], &set.m_fRotation[0][0], 1);
    AngulationMatrixInverse(set.m_fAngulation[0], set.m_fAngulation[1], set.m_fAngulation[2],
                            &set.m_fRotationInverse[0][0], 1);

    // The spectra lie with the first in-plane axis fastest, then the second, then the
    // slice axis, as little-endian words that are VAX floats.
    m_params.m_nSampleType = 2;
    m_params.m_bSwapBytes = 0;
    SetSliceAxisOrder(m_params, std::clamp(set.m_nSliceAxis, 0, 2));
    SetSliceThicknessFromGrid(set);

    if (!ReadRawData(*sdatPath))
        return DiscardSet();
    ConvertVaxFloats(m_pRawData.get(), m_nRawFloats);
    if (!FillCSISet())
        return DiscardSet();
    return CompleteRead(true);
}

bool TPhilipsSdatReader::Validate()
{
    if (!m_pCSISet || m_pCSISet->m_nSpatialDims != 1)
        return false;
    return TCSIReader::Validate();
}

bool TPhilipsSdatReader::TransformAndNormalize()
{
    TCSISet& set = *m_pCSISet;
    // A point count the FFT refuses is reported there, and no set results.
    if (!set.ToFrequencyDomain())
        return false;
    set.FFTShiftSpectra();
    set.InitVoxels();
    set.UpdateDataRange();
    if (m_params.m_bNormalize)
        set.NormalizeTo(1000.0f);
    return true;
}

bool TPhilipsSdatReader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    if (m_params.m_bRemoveOffset)
        m_pCSISet->RemoveDCOffset();
    return TransformAndNormalize();
}
