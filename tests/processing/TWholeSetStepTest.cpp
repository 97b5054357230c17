// A whole-set step whose work ends by an exception: the caller protocol puts the set back
// from the saved state, records nothing, leaves no state file and passes the exception on.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TProject.h"
#include "platform/Workers.h"
#include "processing/TProcessHistory.h"
#include "processing/TWholeSetStep.h"
#include "support/ProcessorCountGuard.h"
#include "AnalysisTestData.h"
#include "TestSteps.h"

using namespace vx;

namespace {

// Triples the samples of its share of the voxels; the last worker then runs out of memory.
class TOutOfMemoryStep : public TWholeSetStep {
public:
    explicit TOutOfMemoryStep(TCSISet* pSet) : TWholeSetStep(101, "om", false, pSet) {}
    bool Apply() override { return Applied(RunAllParts()); }
    bool RunPart(int parts, int index) override
    {
        for (size_t v = static_cast<size_t>(index); v < m_pDataSet->VoxelCount(); v += static_cast<size_t>(parts)) {
            TSpectrum* s = m_pDataSet->GetVoxel(v);
            for (int i = 0; i < s->m_nPoints; ++i)
                s->Data()[i] *= 3.0f;
        }
        if (index == parts - 1)
            throw std::bad_alloc();
        return true;
    }
    bool ReadMacro(TTextFile&) override { return true; }
    void WriteMacro(TTextFile&) override {}
    std::string GetDisplayName() const override { return "out of memory"; }
};

// The open project with the processing library installed.
class WholeSetStepTest : public test::AnalysisWorkSetTest {
protected:
    test::TProcessorCountGuard m_processors;
};

TEST_F(WholeSetStepTest, AStepThatThrowsPutsTheSetBackAndIsNotRecorded)
{
    auto set = test::MakeLoadedSet(3, 3, 1, 8);
    const std::vector<TComplex> before = test::Samples(*set);
    for (int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        SetProcessorCount(workers);
        EXPECT_THROW(TProcessStep::Perform(new TOutOfMemoryStep(set.get()), *m_project, true), std::bad_alloc);
        EXPECT_TRUE(test::SameBits(test::Samples(*set), before));
        EXPECT_TRUE(m_project->m_history->DoneSteps().empty());
        EXPECT_EQ(StateFiles(), std::vector<std::string>{});
    }
}

}  // namespace
