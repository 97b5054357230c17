#pragma once
// Small concrete steps for the tests of the step base and the history: a step that
// scales every sample of its set (whole-set state file, work by voxels) and a step
// that only records what is done to it; and the fixture of tests whose steps need an
// open project.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/TextHelpers.h"
#include "platform/Globals.h"
#include "platform/TTextFile.h"
#include "processing/TProcessStep.h"
#include "support/TestFiles.h"

namespace vx::test {

// A project in a fresh folder is the open project (g_pProject) during each test, so that
// state files go to that folder; the globals start and end at their start values.
class OpenProjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        m_project = std::make_unique<TProject>();
        m_project->m_strFolder = m_dir.Path();
        g_pProject = m_project.get();
    }
    void TearDown() override
    {
        m_project.reset();
        ResetGlobals();
    }

    TTempFolder m_dir;
    std::unique_ptr<TProject> m_project;
};

// Multiplies every sample by a factor; undo and redo exchange the set with its state file.
class TScaleStep : public TProcessStep {
public:
    static constexpr const char* kPrefix = "sc";

    TScaleStep(float factor, bool recorded, TCSISet* pSet) : TProcessStep(recorded, pSet), m_fFactor(factor)
    {
        m_nKind = 100;
        m_strTempFile = MakeTempFileName(kPrefix);
    }
    bool Undo() override { return SwapWithTempFile(kPrefix); }
    bool Redo() override { return SwapWithTempFile(kPrefix); }
    bool ReadMacro(TTextFile&) override { return true; }
    void WriteMacro(TTextFile& file) override
    {
        file.WriteString("<action>\n#Scale\ntype = 100\nFactor = " + FloatToString(m_fFactor, 5) + "\n</action>\n\n");
    }
    bool Apply() override { return m_pDataSet && RunAllParts(); }
    bool RunPart(int parts, int index) override
    {
        for (size_t v = static_cast<size_t>(index); v < m_pDataSet->VoxelCount(); v += static_cast<size_t>(parts)) {
            TSpectrum* s = m_pDataSet->GetVoxel(v);
            TComplex* data = s->Data();
            for (int i = 0; i < s->m_nPoints; ++i)
                data[i] *= m_fFactor;
        }
        return true;
    }
    std::string GetDisplayName() const override { return "Scale"; }

    float m_fFactor;
};

// Counts what the history does with it; its undo and redo can be made to fail.
// Deletion is noted in a list shared by the test.
class TNamedStep : public TProcessStep {
public:
    TNamedStep(std::string name, bool recorded, std::vector<std::string>* deleted = nullptr)
        : TProcessStep(recorded, nullptr), m_name(std::move(name)), m_deleted(deleted)
    {
        m_nKind = 101;
    }
    ~TNamedStep() override
    {
        if (m_deleted)
            m_deleted->push_back(m_name);
    }
    bool Undo() override
    {
        ++m_undos;
        return !m_failUndo;
    }
    bool Redo() override
    {
        ++m_redos;
        return !m_failRedo;
    }
    bool ReadMacro(TTextFile&) override { return true; }
    void WriteMacro(TTextFile& file) override { file.WriteString("<action>\n#" + m_name + "\n</action>\n\n"); }
    bool Apply() override { return true; }
    std::string GetDisplayName() const override { return m_name; }

    std::string m_name;
    std::vector<std::string>* m_deleted;
    int m_undos = 0;
    int m_redos = 0;
    bool m_failUndo = false;
    bool m_failRedo = false;
};

// A loaded set of nx*ny*nz voxels of `points` samples of full-precision values.
inline std::unique_ptr<TCSISet> MakeLoadedSet(int nx, int ny, int nz, int points)
{
    auto set = std::make_unique<TCSISet>();
    set->m_nDim[0] = nx;
    set->m_nDim[1] = ny;
    set->m_nDim[2] = nz;
    set->m_nPoints = points;
    set->m_nSpectralWidth = 1000;
    set->m_fFrequency = 63.9f;
    set->m_bFrequencyDomain = 1;
    set->m_strName = "csi";
    if (!set->AllocateVoxels())
        return nullptr;
    set->InitVoxels();
    uint32_t seed = 7;
    for (size_t v = 0; v < set->VoxelCount(); ++v) {
        TSpectrum* s = set->GetVoxel(v);
        s->AllocateZeroed(points);
        for (int i = 0; i < points; ++i) {
            seed = seed * 1664525u + 1013904223u;
            // 24 significant bits at scales from 2^-20 to 2^-5: every mantissa bit counts.
            const float re = std::ldexp(static_cast<float>(seed >> 8), static_cast<int>(seed & 15) - 20);
            const float im = -std::ldexp(static_cast<float>(seed & 0xffffff), -static_cast<int>(seed >> 28));
            s->Data()[i] = TComplex(re, im);
        }
    }
    set->m_bLoaded = true;
    set->UpdateDataRange();
    return set;
}

// Every sample of the set in voxel order.
inline std::vector<TComplex> Samples(const TCSISet& set)
{
    std::vector<TComplex> out;
    for (size_t v = 0; v < set.VoxelCount(); ++v) {
        const TSpectrum* s = set.GetVoxel(v);
        out.insert(out.end(), s->Data(), s->Data() + s->m_nPoints);
    }
    return out;
}

inline bool SameBits(const std::vector<TComplex>& a, const std::vector<TComplex>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(TComplex)) == 0;
}

}  // namespace vx::test
