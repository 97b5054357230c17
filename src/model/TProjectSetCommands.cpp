// What the project explorer does to CSI sets: arithmetic that makes a new set from
// several, the copy of the work set under a new name, and new acquisition parameters
// for the work set. Every new set's data-set file is written before the set joins the
// project, so a failed write leaves the project as it was.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/IMainFrame.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Report.h"
#include "platform/TFileTransaction.h"

namespace {

// The text that joins the names of the sets a result is made of.
const char* JoinerOf(TProject::TSetOperation operation)
{
    switch (operation) {
    case TProject::TSetOperation::Sum: return "+";
    case TProject::TSetOperation::Subtract: return "-";
    case TProject::TSetOperation::Ratio: return "_To_";
    }
    return "";
}

bool Apply(TProject::TSetOperation operation, TCSISet& a, const TCSISet& b)
{
    switch (operation) {
    case TProject::TSetOperation::Sum: return a.Add(b);
    case TProject::TSetOperation::Subtract: return a.Subtract(b);
    case TProject::TSetOperation::Ratio: return a.RatioPercent(b);
    }
    return false;
}

// A new set with the parameters of `source` and the samples of its data-set file.
std::unique_ptr<TCSISet> ReadAgain(TProject* project, const TCSISet& source)
{
    auto set = std::make_unique<TCSISet>(project);
    set->CopyHeader(source);
    set->LoadData();
    return set;
}

bool SameSizes(const TCSISet& a, const TCSISet& b)
{
    return std::equal(a.m_nDim, a.m_nDim + 3, b.m_nDim);
}

}  // namespace

bool TProject::CombineCSISets(const std::vector<TCSISet*>& sets, TSetOperation operation)
{
    if (sets.empty())
        return false;
    std::unique_ptr<TCSISet> result = ReadAgain(this, *sets.front());
    for (size_t k = 1; k < sets.size(); ++k) {
        const std::unique_ptr<TCSISet> next = ReadAgain(this, *sets[k]);
        if (!SameSizes(*result, *next)) {
            vx::Report("The two CSI sets must have same dimensions!", vx::ReportIcon::Error);
            return false;
        }
        if (!Apply(operation, *result, *next))
            return false;
        result->m_strName += JoinerOf(operation) + next->GetName();
        result->SetFolder(m_strFolder);
        result->m_strDataPath = "Unavailable";
    }
    if (!result->IsLoaded())
        return false;
    const std::string name = result->GetName();
    if (m_pCSISetList->FindByName(name)) {
        vx::Report("The CSI set: " + name + " already exists. The new one can not be added.",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    if (IsUnusableSetName(*result)) {
        vx::Report("Invalid CSI set name.", vx::ReportIcon::Exclamation);
        return false;
    }
    result->UpdateDataRange();
    if (!CommitNewSet(result, nullptr, "The CSI set " + name + " was not added"))
        return false;
    ProjectFileSaved(false);
    return true;
}

bool TProject::SaveWorkSetAs(const std::string& name)
{
    TCSISet* pWork = m_pWorkSet;
    if (!pWork)
        return false;
    TCSISet* pOld = m_pCSISetList->FindByName(name);
    if (pOld) {
        if (vx::Ask("This CSI set already exists. Do you want to overwrite it?", vx::ReportButtons::YesNo,
                    vx::ReportAnswer::Yes, vx::ReportIcon::Exclamation) != vx::ReportAnswer::Yes)
            return false;
        // The set's own name: it is simply written.
        if (pOld == pWork)
            return SaveWorkSetAndProject(false);
    }
    auto copy = std::make_unique<TCSISet>(this);
    copy->CopyHeader(*pWork);
    copy->m_strName = name;
    copy->SetFolder(m_strFolder);
    if (IsUnusableSetName(*copy)) {
        vx::Report("Invalid CSI set name.", vx::ReportIcon::Exclamation);
        return false;
    }
    // The copy's file, the replaced set's files and the project file change as one: a
    // failure keeps both sets as they were.
    if (!copy->CopyDataFrom(*pWork) || !CommitNewSet(copy, pOld, "The CSI set " + name + " was not saved"))
        return false;
    // The work set itself is not saved by its copy.
    ProjectFileSaved(true);
    if (m_pMainFrame)
        m_pMainFrame->ShowProjectExplorer();
    return true;
}

void TProject::SetWorkSetParameters(const float scalars[4], const float fov[3], const float offCentre[3])
{
    TCSISet* pSet = m_pWorkSet;
    if (!pSet)
        return;
    // The project file is written below: parameters it could not read back (a frequency
    // of 0, a sweep width below 1 Hz) would leave a project that no longer opens.
    {
        TCSISet check;
        static_cast<TCSIParams&>(check) = *pSet;
        check.m_pProject = nullptr;
        for (int k = 0; k < 4; ++k)
            check.SetScalarParam(k, scalars[k]);
        check.SetVectorParam(5, fov);
        if (!check.CanBeListed()) {
            vx::Report("The parameters of the CSI set " + pSet->GetName() +
                           " were not changed: its frequency and field of view must be above 0 and its sweep "
                           "width at least 1 Hz.",
                       vx::ReportIcon::Exclamation);
            return;
        }
    }
    float oldFOV[3], oldOffCentre[3];
    pSet->GetVectorParam(5, oldFOV);
    pSet->GetVectorParam(6, oldOffCentre);
    for (int k = 0; k < 4; ++k)
        pSet->SetScalarParam(k, scalars[k]);
    pSet->SetVectorParam(5, fov);
    pSet->SetVectorParam(6, offCentre);
    if (!std::equal(fov, fov + 3, oldFOV) || !std::equal(offCentre, offCentre + 3, oldOffCentre)) {
        LocateImagesInWorkSet();
        ShowWorkSetInfo();
        pSet->UpdateVoxelGeometryAll();
        pSet->UpdateMaps();
        UpdateRegionEstimates();
        if (m_pMainFrame)
            m_pMainFrame->RefreshRegionWindows();
        UpdateFrames(true, true, true, true, true);
    }
    Save();
    // The work set's data-set file, which a later load reads the parameters from, still
    // holds the old ones: the set stays to be saved.
    SetModified(true);
}
