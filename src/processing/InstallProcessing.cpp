#include "processing/InstallProcessing.h"

#include <utility>

#include "model/ProcessingHooks.h"
#include "model/TAnalysis.h"
#include "platform/TTextFile.h"
#include "processing/AnalysisRecords.h"
#include "processing/TDrawnRegion.h"
#include "processing/TMacroStep.h"
#include "processing/TProcessHistory.h"
#include "processing/TProcessStep.h"
#include "processing/TRegionEstimate.h"

void InstallProcessing()
{
    TProcessingHooks hooks;
    hooks.newHistory = [] { return new TProcessHistory; };
    hooks.deleteHistory = [](TProcessHistory* pHistory) { delete pHistory; };
    hooks.addStep = [](TProcessHistory* pHistory, TProcessStep* pStep) { pHistory->AddStep(pStep); };
    hooks.undo = [](TProcessHistory* pHistory) { return pHistory->Undo(); };
    hooks.redo = [](TProcessHistory* pHistory) { return pHistory->Redo(); };
    hooks.cannotUndo = [](TProcessHistory* pHistory) { return pHistory->CannotUndo(); };
    hooks.canRedo = [](TProcessHistory* pHistory) { return !pHistory->UndoneSteps().empty(); };
    hooks.clear = [](TProcessHistory* pHistory) { pHistory->Clear(); };
    hooks.disableUndo = [](TProcessHistory* pHistory) { pHistory->DisableUndo(); };
    hooks.deleteStep = [](TProcessStep* pStep) { delete pStep; };
    hooks.newMacroStep = [](bool recording, TCSISet* pSet) { return new TMacroStep(recording, pSet); };
    hooks.deleteRegion = [](TDrawnRegion* pRegion) { delete pRegion; };
    hooks.deleteEstimate = [](TRegionEstimate* pEstimate) { delete pEstimate; };
    hooks.rerunEstimate = [](TRegionEstimate* pEstimate) { return pEstimate->Estimate(); };
    hooks.estimateUsesSet = [](TRegionEstimate* pEstimate, const TCSISet* pSet) { return pEstimate->UsesSet(pSet); };
    hooks.estimateUsesImage = [](TRegionEstimate* pEstimate, const TMRImage* pImage) {
        return pEstimate->UsesImage(pImage);
    };
    hooks.regionUsesImage = [](TDrawnRegion* pRegion, const TMRImage* pImage) { return pRegion->IsOnImage(pImage); };
    hooks.readMacro = [](TProcessStep* pStep, vx::TTextFile& file) { return pStep->ReadMacro(file); };
    hooks.applyStep = [](TProcessStep* pStep, TCSISet* pSet) {
        pStep->SetDataSet(pSet);
        return pStep->Apply();
    };
    hooks.dropStates = [](TProcessStep* pStep) { pStep->DropState(); };
    hooks.macroIsEmpty = [](TProcessStep* pStep) {
        const auto* pMacro = dynamic_cast<const TMacroStep*>(pStep);
        return !pMacro || pMacro->m_members.empty();
    };
    hooks.deleteAnalysis = [](TAnalysis* pAnalysis) { delete pAnalysis; };
    hooks.setAnalysisComputed = [](TAnalysis* pAnalysis, bool computed) { pAnalysis->SetComputed(computed); };
    hooks.analysisUsesSet = [](TAnalysis* pAnalysis, const TCSISet* pSet) { return pAnalysis->UsesSet(pSet); };
    hooks.writeAnalyses = WriteAnalysisRecords;
    hooks.readAnalyses = ReadAnalysisRecords;
    InstallProcessingHooks(std::move(hooks));
}
