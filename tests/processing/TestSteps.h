#pragma once
// Small concrete steps for the tests of the step base and the history: a step that
// scales every sample of its set (whole-set state file, work by voxels) and a step
// that only records what is done to it; and the fixture of tests whose steps need an
// open project.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFileTransaction.h"
#include "platform/TTextFile.h"
#include "processing/TProcessStep.h"
#include "support/CSISetBuilders.h"
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

    // Names of the state files in the project folder.
    std::vector<std::string> StateFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : vx::test::ListedEntries(TFileTransaction::WorkFolderOf(m_dir.Path()), "*.tmp"))
            names.push_back(e.name);
        return names;
    }

    TTempFolder m_dir;
    std::unique_ptr<TProject> m_project;
};

// An angle in degrees as the macro files turn it into radians.
inline float Radians(double degrees)
{
    return static_cast<float>(degrees * std::numbers::pi / 180.0);
}

// Lines joined with the line end of the program's text files.
inline std::string CRLF(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// Multiplies every sample by a factor; undo and redo exchange the set with its state file.
class TScaleStep : public TProcessStep {
public:
    static constexpr const char* kPrefix = "sc";

    TScaleStep(float factor, bool recorded, TCSISet* pSet) : TProcessStep(recorded, pSet), m_fFactor(factor)
    {
        m_nKind = 100;
        m_pszStatePrefix = kPrefix;
    }
    bool Undo() override { return SwapWithTempFile(TStateChange::Undo); }
    bool Redo() override { return SwapWithTempFile(TStateChange::Redo); }
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
    set->m_nSpectralWidth = 1000;
    set->m_fFrequency = 63.9f;
    set->m_bFrequencyDomain = 1;
    set->m_strName = "csi";
    uint32_t seed = 7;
    FillSet(*set, nx, ny, nz, points, [&seed](int, int) {
        seed = seed * 1664525u + 1013904223u;
        // 24 significant bits at scales from 2^-20 to 2^-5: every mantissa bit counts.
        const float re = std::ldexp(static_cast<float>(seed >> 8), static_cast<int>(seed & 15) - 20);
        const float im = -std::ldexp(static_cast<float>(seed & 0xffffff), -static_cast<int>(seed >> 28));
        return TComplex(re, im);
    });
    if (!set->IsLoaded())
        return nullptr;
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

// A loaded frequency-domain set of a three-dimensional acquisition (slice axis 2, voxel
// space, point range the whole spectrum, 0 ppm in the middle) of the project.
inline std::unique_ptr<TCSISet> MakeAcquiredSet(TProject* project, int nx, int ny, int nz, int points)
{
    auto set = MakeLoadedSet(nx, ny, nz, points);
    set->m_nSpatialDims = 3;
    set->m_nSliceAxis = 2;
    set->m_bKSpace = 0;
    set->m_nLastPoint = points - 1;
    set->m_fPPMCentrePoint = points / 2.0f;
    set->SetProject(project);
    return set;
}

// Everything a step may change in a set: the samples and the parameters they depend on.
struct TSetState {
    std::vector<TComplex> samples;
    std::vector<float> floats;
    std::vector<int> ints;
};

inline TSetState Snapshot(const TCSISet& set)
{
    TSetState s;
    s.samples = Samples(set);
    s.floats = {set.m_fPPMCentrePoint, set.m_fPPMCentreValue, set.m_fPhase0,     set.m_fPhase1,
                set.m_fOffCentre[0],   set.m_fOffCentre[1],   set.m_fOffCentre[2], set.m_fVoxelShift[0],
                set.m_fVoxelShift[1],  set.m_fVoxelShift[2],  set.m_fLorentzBroadening, set.m_fGaussBroadening};
    s.ints = {set.m_nPoints, set.m_nFirstPoint, set.m_nLastPoint, set.m_nPivot, set.m_bFrequencyDomain,
              set.m_bKSpace};
    return s;
}

inline bool SameBits(const TSetState& a, const TSetState& b)
{
    return SameBits(a.samples, b.samples) && a.ints == b.ints && a.floats.size() == b.floats.size() &&
           std::memcmp(a.floats.data(), b.floats.data(), a.floats.size() * sizeof(float)) == 0;
}

// Largest sample difference relative to the largest magnitude; infinite for sets of
// other shapes or parameters.
inline double Difference(const TSetState& a, const TSetState& b)
{
    if (a.samples.size() != b.samples.size() || a.ints != b.ints)
        return INFINITY;
    double largest = 0, diff = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        largest = std::max(largest, static_cast<double>(std::abs(a.samples[i])));
        diff = std::max(diff, static_cast<double>(std::abs(a.samples[i] - b.samples[i])));
    }
    for (size_t i = 0; i < a.floats.size(); ++i)
        diff = std::max(diff, static_cast<double>(std::fabs(a.floats[i] - b.floats[i])));
    return largest > 0 ? diff / largest : diff;
}

}  // namespace vx::test
