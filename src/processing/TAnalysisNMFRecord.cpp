// The fields that an NMF analysis adds to its record in the project file.
#include <cstdint>
#include <vector>

#include "platform/TFile.h"
#include "platform/TRecordReader.h"
#include "processing/TAnalysisNMF.h"

namespace {

// Error values a record may hold: the start and every update of a run.
constexpr uint32_t kMaxErrors = uint32_t(TAnalysisNMF::kLastPass) + 1;

}  // namespace

bool TAnalysisNMF::WriteKindFields(vx::TFile& file) const
{
    bool ok = file.WriteInt32(m_nRuns) && file.WriteFloat(m_fThreshold) && WriteMatrix(file, m_chiSquare) &&
              WriteMatrix(file, m_errorConvergence) && file.WriteInt32(static_cast<int32_t>(m_scoreCopies.size()));
    for (const TFloatMatrix& m : m_scoreCopies)
        ok = ok && WriteMatrix(file, m);
    for (const TFloatMatrix& m : m_componentCopies)
        ok = ok && WriteMatrix(file, m);
    return ok;
}

bool TAnalysisNMF::ReadKindFields(vx::TRecordReader& in, uint32_t voxels, uint32_t points, uint32_t components)
{
    int32_t runs = 0, copies = 0;
    float threshold = 0.0f;
    if (!in.ReadInt32(runs) || !in.ReadFloats(&threshold, 1) || runs < 1 || runs > kMaxRuns)
        return false;
    TFloatMatrix chi, convergence;
    uint32_t rows = 0, errorCount = 0;
    if (!ReadMatrix(in, 1, uint32_t(runs), chi) || !in.ReadUInt32(rows) || !in.ReadUInt32(errorCount))
        return false;
    // The convergence is one row of at most one value per pass, or empty.
    if (rows > 1 || (rows == 0) != (errorCount == 0) || errorCount > kMaxErrors || !in.Holds(uint64_t(errorCount) * 4))
        return false;
    convergence.Resize(rows, errorCount);
    // An analysis whose last compute failed has no copies.
    if (!in.ReadFloats(convergence.Data(), errorCount) || !in.ReadInt32(copies) || (copies != runs && copies != 0))
        return false;
    std::vector<TFloatMatrix> scoreCopies(static_cast<size_t>(copies)), componentCopies(static_cast<size_t>(copies));
    for (TFloatMatrix& m : scoreCopies)
        if (!ReadMatrix(in, voxels, components, m))
            return false;
    for (TFloatMatrix& m : componentCopies)
        if (!ReadMatrix(in, components, points, m))
            return false;
    m_nRuns = runs;
    m_fThreshold = threshold;
    m_chiSquare = std::move(chi);
    m_errorConvergence = std::move(convergence);
    m_scoreCopies = std::move(scoreCopies);
    m_componentCopies = std::move(componentCopies);
    return true;
}
