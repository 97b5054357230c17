#include "processing/MacroStepTypes.h"

#include "processing/TBaselineFitStep.h"
#include "processing/TBaselineStep.h"
#include "processing/TCosineWindowStep.h"
#include "processing/TFermiWindowStep.h"
#include "processing/TGaussFilterStep.h"
#include "processing/THammingWindowStep.h"
#include "processing/TLorentzFilterStep.h"
#include "processing/TLorentzGaussFilterStep.h"
#include "processing/TPPMCenterStep.h"
#include "processing/TPhasingStep.h"
#include "processing/TVoxelShiftStep.h"
#include "processing/TWaterSuppressionStep.h"
#include "processing/TZeroFillStep.h"

namespace {

template <class TStep>
TProcessStep* MakeStep()
{
    return new TStep;
}

struct TMacroStepType {
    int type;
    TProcessStep* (*make)();
};

// Every class that can stand in a macro file. A class's type is its kType and the
// m_nKind of its steps.
constexpr TMacroStepType kMacroStepTypes[] = {
    {TVoxelShiftStep::kType, MakeStep<TVoxelShiftStep>},
    {TPhasingStep::kType, MakeStep<TPhasingStep>},
    {TPPMCenterStep::kType, MakeStep<TPPMCenterStep>},
    {TZeroFillStep::kType, MakeStep<TZeroFillStep>},
    {TCosineWindowStep::kType, MakeStep<TCosineWindowStep>},
    {TFermiWindowStep::kType, MakeStep<TFermiWindowStep>},
    {THammingWindowStep::kType, MakeStep<THammingWindowStep>},
    {TLorentzFilterStep::kType, MakeStep<TLorentzFilterStep>},
    {TGaussFilterStep::kType, MakeStep<TGaussFilterStep>},
    {TLorentzGaussFilterStep::kType, MakeStep<TLorentzGaussFilterStep>},
    {TWaterSuppressionStep::kType, MakeStep<TWaterSuppressionStep>},
    {TBaselineStep::kType, MakeStep<TBaselineStep>},
    {TBaselineFitStep::kType, MakeStep<TBaselineFitStep>},
};

}  // namespace

TProcessStep* CreateMacroStep(int type)
{
    for (const TMacroStepType& t : kMacroStepTypes)
        if (t.type == type)
            return t.make();
    return nullptr;
}
