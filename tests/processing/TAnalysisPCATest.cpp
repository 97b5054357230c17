// The principal component analysis and the analysis base on synthetic sets: the
// components of a three-line mixture against the known lines and the eigenvalues of the
// second-moment matrix computed here, the residual, the data matrix of point intervals,
// selections and score images for every slice axis, component maps and the corrections.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "AnalysisTestData.h"
#include "TestSteps.h"
#include "model/TCSISet.h"
#include "model/ProcessingHooks.h"
#include "model/TComponentMap.h"
#include "model/TMRImage.h"
#include "model/TMapList.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "processing/InstallProcessing.h"
#include "processing/TAnalysisPCA.h"
#include "processing/TPCACorrection.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

constexpr int kPoints = 128;
constexpr int kFirst = 20, kLast = 83;  // 64 points around the three lines

std::unique_ptr<TAnalysisPCA> MakePCA(int components, std::vector<int32_t> intervals = {kFirst, kLast},
                                      int first = kFirst, int last = kLast)
{
    return std::make_unique<TAnalysisPCA>(first, last, components, intervals.data(),
                                          static_cast<int>(intervals.size() / 2));
}

// X'X / P of the real parts of first..last, computed from the set's samples.
std::vector<double> SecondMoment(const TCSISet& set, int first, int last)
{
    const int p = last - first + 1;
    std::vector<double> m(size_t(p) * p, 0.0);
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j)
                m[size_t(i) * p + j] += double(set.GetVoxel(v)->GetReal(first + i)) * set.GetVoxel(v)->GetReal(first + j);
    for (double& x : m)
        x /= p;
    return m;
}

// Orthonormal rows (Gram-Schmidt) of the given vectors.
std::vector<std::vector<double>> Orthonormal(std::vector<std::vector<double>> rows)
{
    for (size_t i = 0; i < rows.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            double dot = 0;
            for (size_t t = 0; t < rows[i].size(); ++t)
                dot += rows[i][t] * rows[j][t];
            for (size_t t = 0; t < rows[i].size(); ++t)
                rows[i][t] -= dot * rows[j][t];
        }
        double norm = 0;
        for (double x : rows[i])
            norm += x * x;
        for (double& x : rows[i])
            x /= std::sqrt(norm);
    }
    return rows;
}

// The largest principal angle (degrees) between the spans of two sets of three
// orthonormal vectors: the smallest singular value of A B' is its cosine.
double LargestPrincipalAngle(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b)
{
    double m[3][3] = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (size_t t = 0; t < a[i].size(); ++t)
                m[i][j] += a[i][t] * b[j][t];
    std::vector<double> g(9, 0.0);  // M'M
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                g[i * 3 + j] += m[k][i] * m[k][j];
    const double smallest = test::JacobiEigenvalues(g, 3).back();
    return std::acos(std::min(1.0, std::sqrt(std::max(0.0, smallest)))) * 180.0 / std::numbers::pi;
}

using AnalysisPCATest = test::AnalysisWorkSetTest;
using test::Row;

TEST_F(AnalysisPCATest, ThreeComponentsSpanTheKnownSpectraWithTheEigenvalueWeights)
{
    auto set = test::MakeMixtureSet(8, 8, 2, kPoints, 1e-3);
    ASSERT_TRUE(set);
    const int p = kLast - kFirst + 1;
    const std::vector<double> reference = test::JacobiEigenvalues(SecondMoment(*set, kFirst, kLast), p);

    for (int k : {1, 3, 5, p}) {
        SCOPED_TRACE(k);
        auto pca = MakePCA(k);
        ASSERT_TRUE(pca->Prepare(set.get(), false));
        ASSERT_TRUE(pca->Compute());
        ASSERT_EQ(pca->Components().Rows(), uint32_t(k));
        ASSERT_EQ(pca->Scores().Rows(), uint32_t(set->VoxelCount()));

        double sum = 0, total = 0;
        for (int c = 0; c < k; ++c)
            total += reference[c];
        for (int c = 0; c < k; ++c) {
            const double expected = 100.0 * reference[c] / total;
            EXPECT_NEAR(pca->Weights().At(0, c), expected, 1e-3 * 100 + 1e-4) << c;
            sum += pca->Weights().At(0, c);
        }
        EXPECT_NEAR(sum, 100.0, 1e-3);
        // Component 0 is turned so that its elements add up to 0 or more.
        double first = 0;
        for (double x : Row(pca->Components(), 0))
            first += x;
        EXPECT_GE(first, 0.0);
        // Scores are the uncentred data times the components.
        for (uint32_t v : {0u, 17u, 127u})
            for (int c = 0; c < k; ++c) {
                double score = 0;
                for (int j = 0; j < p; ++j)
                    score += double(set->GetVoxel(v)->GetReal(kFirst + j)) * pca->Components().At(c, j);
                EXPECT_NEAR(pca->Scores().At(v, c), score, 1e-4 * (1 + std::fabs(score)));
            }
        if (k < 3)
            continue;
        std::vector<std::vector<double>> known, found;
        for (int c = 0; c < 3; ++c) {
            known.emplace_back();
            for (int t = kFirst; t <= kLast; ++t)
                known.back().push_back(test::KnownSpectrum(c, t));
            found.push_back(Row(pca->Components(), c));
        }
        EXPECT_LT(LargestPrincipalAngle(Orthonormal(known), Orthonormal(found)), 1.0);
        // The three lines carry the variance: the rest is noise.
        EXPECT_GT(pca->Weights().At(0, 0) + pca->Weights().At(0, 1) + pca->Weights().At(0, 2), 100.0 * 0.99 *
                  (reference[0] + reference[1] + reference[2]) / total);
    }
}

TEST_F(AnalysisPCATest, ResidualIsTheRealPartLessTheReconstructionInsideTheRange)
{
    auto set = test::MakeMixtureSet(4, 4, 1, kPoints, 1e-3);
    auto pca = MakePCA(3);
    ASSERT_TRUE(pca->Prepare(set.get(), false));
    ASSERT_TRUE(pca->Compute());
    set->m_strFilePath = "/data/csi";
    std::unique_ptr<TCSISet> residual = pca->CreateResidualSet();
    ASSERT_TRUE(residual);
    EXPECT_EQ(residual->GetName(), "csi_PCA_20_83_3_ResidualError");
    EXPECT_EQ(residual->GetFilePath(), "/data/csi_PCA_20_83_3_ResidualError");
    EXPECT_EQ(residual->m_strDataPath, "Unavailable");
    EXPECT_TRUE(residual->IsLoaded());
    ASSERT_EQ(residual->VoxelCount(), set->VoxelCount());
    double largest = 0;
    for (size_t v = 0; v < set->VoxelCount(); ++v)
        for (int t = 0; t < kPoints; ++t) {
            const TSpectrum* r = residual->GetVoxel(v);
            EXPECT_EQ(r->GetImag(t), 0.0f);
            if (t < kFirst || t > kLast) {
                EXPECT_EQ(r->GetReal(t), 0.0f) << v << " " << t;
                continue;
            }
            double model = 0;
            for (uint32_t c = 0; c < 3; ++c)
                model += double(pca->Scores().At(uint32_t(v), c)) * pca->Components().At(c, uint32_t(t - kFirst));
            EXPECT_NEAR(r->GetReal(t), set->GetVoxel(v)->GetReal(t) - model, 1e-5);
            largest = std::max(largest, std::fabs(double(r->GetReal(t))));
        }
    // Three components leave the noise only.
    EXPECT_LT(largest, 5e-3);
}

TEST_F(AnalysisPCATest, RefusedAndDegenerateInputs)
{
    auto set = test::MakeMixtureSet(4, 4, 1, kPoints, 0.0);
    struct Case {
        const char* what;
        int first, last, components;
        std::vector<int32_t> intervals;
    };
    const Case refused[] = {
        {"more components than points", 20, 23, 5, {20, 23}},
        {"no component", 20, 40, 0, {20, 40}},
        {"interval outside the range", 20, 40, 2, {10, 30}},
        {"range past the spectrum", 100, kPoints, 2, {100, kPoints}},
        {"no interval", 20, 40, 2, {}},
    };
    for (const Case& c : refused) {
        auto pca = MakePCA(c.components, c.intervals, c.first, c.last);
        ASSERT_TRUE(pca->Prepare(set.get(), false)) << c.what;
        EXPECT_FALSE(pca->Compute()) << c.what;
    }
    // K equal to the number of points is allowed.
    auto all = MakePCA(4, {20, 23}, 20, 23);
    ASSERT_TRUE(all->Prepare(set.get(), false));
    EXPECT_TRUE(all->Compute());

    // All-zero data have no variance: weights 0, not NaN.
    auto zero = test::MakeAnalysisSet(3, 3, 1, 2, kPoints, [](int, int) { return TComplex(0, 0); });
    auto pca = MakePCA(2);
    ASSERT_TRUE(pca->Prepare(zero.get(), false));
    ASSERT_TRUE(pca->Compute());
    EXPECT_EQ(pca->Weights().At(0, 0), 0.0f);
    EXPECT_EQ(pca->Weights().At(0, 1), 0.0f);

    // No set, or a set without samples.
    EXPECT_FALSE(MakePCA(2)->Prepare(nullptr, false));
    set->m_bLoaded = false;
    EXPECT_FALSE(MakePCA(2)->Prepare(set.get(), false));
}

TEST_F(AnalysisPCATest, PointsOutsideTheIntervalsAreZeroColumnsWithZeroLoadings)
{
    auto set = test::MakeMixtureSet(4, 4, 2, kPoints, 1e-3);
    auto pca = MakePCA(3, {kFirst, 40, 55, kLast});
    ASSERT_TRUE(pca->Prepare(set.get(), false));
    ASSERT_TRUE(pca->Compute());
    EXPECT_EQ(pca->Data().Columns(), uint32_t(kLast - kFirst + 1));
    for (int t = 41; t < 55; ++t) {
        for (uint32_t v = 0; v < pca->Data().Rows(); ++v)
            ASSERT_EQ(pca->Data().At(v, t - kFirst), 0.0f);
        for (uint32_t c = 0; c < 3; ++c)
            EXPECT_NEAR(pca->Components().At(c, t - kFirst), 0.0f, 1e-6) << t;
    }
    EXPECT_EQ(pca->Data().At(5, 0), set->GetVoxel(5)->GetReal(kFirst));
    EXPECT_EQ(pca->Data().At(5, 55 - kFirst), set->GetVoxel(5)->GetReal(55));
}

TEST_F(AnalysisPCATest, RunComputesOnlyWhenAskedOrOutOfDate)
{
    auto set = test::MakeMixtureSet(4, 4, 1, kPoints, 1e-3);
    auto pca = MakePCA(2);
    ASSERT_TRUE(pca->Prepare(set.get(), false));
    EXPECT_TRUE(pca->IsComputed());
    EXPECT_TRUE(pca->Run(false));
    EXPECT_FALSE(pca->Scores().HasData());  // a new analysis counts as computed
    pca->SetComputed(false);
    EXPECT_TRUE(pca->Run(false));
    EXPECT_TRUE(pca->Scores().HasData());
    EXPECT_TRUE(pca->IsComputed());

    // With prepare the voxels are taken again: a selection made since is used.
    set->GetVoxel(3)->m_bSelected = 1;
    auto selected = MakePCA(2);
    ASSERT_TRUE(selected->Prepare(set.get(), true));
    set->GetVoxel(7)->m_bSelected = 1;
    ASSERT_TRUE(selected->Run(true));
    EXPECT_EQ(selected->Scores().Rows(), 2u);

    // No selected voxel: Prepare fails and the analysis keeps what it had.
    for (size_t v = 0; v < set->VoxelCount(); ++v)
        set->GetVoxel(v)->m_bSelected = 0;
    EXPECT_FALSE(selected->Prepare(set.get(), true));
    EXPECT_FALSE(selected->Run(true));
    EXPECT_EQ(selected->GetVoxelList().voxels.size(), 2u);
}

// For every slice axis: the voxel list, the score images and the component maps place
// the scores of the selected voxels where those voxels are.
TEST_F(AnalysisPCATest, SelectionsPlaceScoresAtTheirVoxelsForEverySliceAxis)
{
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE(axis);
        auto owned = test::MakeMixtureSet(4, 3, 2, kPoints, 1e-3);
        owned->m_nSliceAxis = axis;
        TCSISet* set = MakeWorkSet(std::move(owned));
        const std::vector<std::array<int, 3>> chosen = {{1, 1, 0}, {3, 2, 1}, {2, 0, 1}, {0, 2, 0}};
        for (const auto& c : chosen)
            set->GetVoxel(c[0], c[1], c[2])->m_bSelected = 1;

        auto pca = MakePCA(2);
        ASSERT_TRUE(pca->Prepare(set, true));
        ASSERT_TRUE(pca->Compute());
        int a1 = 0, a2 = 0;
        ASSERT_TRUE(TMRImage::InPlaneAxes(axis, a1, a2));
        const TAnalysisVoxelList list = pca->GetVoxelList();
        ASSERT_TRUE(list.selection);
        ASSERT_EQ(list.voxels.size(), chosen.size());
        int xMin = 99, xMax = -1, yMin = 99, yMax = -1;
        std::vector<size_t> order;
        for (const TAnalysisVoxel& v : list.voxels) {
            int pos[3];
            pos[axis] = v.slice;
            pos[a1] = v.first;
            pos[a2] = v.second;
            ASSERT_TRUE(set->GetVoxel(pos[0], pos[1], pos[2])->m_bSelected);
            order.push_back((size_t(v.slice) * 100 + v.second) * 100 + v.first);
            xMin = std::min(xMin, v.first), xMax = std::max(xMax, v.first);
            yMin = std::min(yMin, v.second), yMax = std::max(yMax, v.second);
        }
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));  // slice, second, first

        // Images of the rectangle around the selection, zero elsewhere.
        for (int s = 0; s < set->m_nDim[axis]; ++s) {
            const TFloatMatrix* image = pca->GetScoreImage(s, 1);
            ASSERT_TRUE(image);
            ASSERT_EQ(image->Rows(), uint32_t(yMax - yMin + 1));
            ASSERT_EQ(image->Columns(), uint32_t(xMax - xMin + 1));
            for (uint32_t y = 0; y < image->Rows(); ++y)
                for (uint32_t x = 0; x < image->Columns(); ++x) {
                    float expected = 0;
                    for (size_t i = 0; i < list.voxels.size(); ++i)
                        if (list.voxels[i].slice == s && list.voxels[i].first == int(x) + xMin &&
                            list.voxels[i].second == int(y) + yMin)
                            expected = pca->Scores().At(uint32_t(i), 1);
                    EXPECT_EQ(image->At(y, x), expected);
                }
        }
        EXPECT_EQ(pca->GetScoreImage(set->m_nDim[axis], 0), nullptr);
        EXPECT_EQ(pca->GetScoreImage(0, 2), nullptr);
        EXPECT_EQ(pca->GetScoreImage(-1, 0), nullptr);

        // Component 1's map holds the scores at the voxels, 0 elsewhere.
        ASSERT_EQ(pca->CreateComponentMaps(), 2);
        auto* map = dynamic_cast<TComponentMap*>(set->FindMap("PCA_20_83_2_1"));
        ASSERT_TRUE(map);
        for (int z = 0; z < 2; ++z)
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x) {
                    float expected = 0;
                    for (size_t i = 0; i < chosen.size(); ++i) {
                        const TAnalysisVoxel& v = list.voxels[i];
                        int pos[3];
                        pos[axis] = v.slice;
                        pos[a1] = v.first;
                        pos[a2] = v.second;
                        if (pos[0] == x && pos[1] == y && pos[2] == z)
                            expected = pca->Scores().At(uint32_t(i), 1);
                    }
                    EXPECT_EQ(map->Values()[map->ValueIndex(x, y, z)], TComplex(expected, 0.0f));
                }
        m_project->m_pWorkSet = nullptr;
    }
}

TEST_F(AnalysisPCATest, ComponentMapsFollowTheAnalysisAndSkipRemovedMaps)
{
    TCSISet* set = MakeWorkSet(test::MakeMixtureSet(4, 4, 1, kPoints, 1e-3));
    auto pca = MakePCA(3);
    ASSERT_TRUE(pca->Prepare(set, false));
    ASSERT_TRUE(pca->Compute());
    ASSERT_EQ(pca->CreateComponentMaps(), 3);
    ASSERT_EQ(set->m_pMapList->GetCount(), 3);

    auto* map0 = dynamic_cast<TComponentMap*>(set->FindMap("PCA_20_83_3_0"));
    auto* map2 = dynamic_cast<TComponentMap*>(set->FindMap("PCA_20_83_3_2"));
    ASSERT_TRUE(map0 && map2);
    EXPECT_EQ(map0->method, kMapFromAnalysis);
    double area = 0;
    for (double x : Row(pca->Components(), 0))
        area += x;
    for (size_t v : {0u, 9u})
        EXPECT_NEAR(map0->Values()[v].real(), pca->Scores().At(uint32_t(v), 0) * area, 1e-4 * std::fabs(area));
    EXPECT_EQ(map2->Values()[9].real(), pca->Scores().At(9, 2));
    EXPECT_FLOAT_EQ(map0->peakStartPPM, static_cast<float>(IndexToPPM(kFirst, 2000, 127.8f, kPoints / 2.0f, kPoints)));
    EXPECT_EQ(map0->displayMax, map0->maxReal);

    // The user replaces map 2 by a map of the same name; the data change and the analysis
    // runs again: Update refreshes the analysis's own maps and leaves the new one alone.
    auto* other = new TMap(set);
    other->name = "PCA_20_83_3_2";
    set->AddMap(other);
    const float before = map0->Values()[9].real();
    set->Scale(2.0f);
    ASSERT_TRUE(pca->Run(true));
    pca->UpdateComponentMaps();
    EXPECT_NEAR(map0->Values()[9].real(), 2 * before, 1e-4 * std::fabs(before));
    EXPECT_FALSE(other->HasValues());
    EXPECT_EQ(set->m_pMapList->GetCount(), 3);

    // Maps are made only on the analysed set: another work set gets none, and is told why.
    auto elsewhere = test::MakeMixtureSet(2, 2, 1, kPoints, 0);
    m_project->m_pWorkSet = elsewhere.get();
    test::TScriptedReport report;
    EXPECT_EQ(pca->CreateComponentMaps(), 0);
    EXPECT_EQ(elsewhere->m_pMapList, nullptr);
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"The maps can only be created when the analysed CSI set is the work set."});
    m_project->m_pWorkSet = set;
}

TEST_F(AnalysisPCATest, InvertingTheFirstComponentTwiceRestoresEverything)
{
    auto set = test::MakeMixtureSet(4, 4, 1, kPoints, 1e-3);
    auto pca = MakePCA(2);
    ASSERT_TRUE(pca->Prepare(set.get(), false));
    ASSERT_TRUE(pca->Compute());
    const TFloatMatrix components = pca->Components(), scores = pca->Scores();
    const TFloatMatrix image = *pca->GetScoreImage(0, 0);
    pca->InvertFirstComponent();
    EXPECT_EQ(pca->Components().At(0, 30), -components.At(0, 30));
    EXPECT_EQ(pca->Components().At(1, 30), components.At(1, 30));
    EXPECT_EQ(pca->Scores().At(5, 0), -scores.At(5, 0));
    EXPECT_EQ(pca->GetScoreImage(0, 0)->At(1, 1), -image.At(1, 1));
    pca->InvertFirstComponent();
    EXPECT_TRUE(pca->Components() == components);
    EXPECT_TRUE(pca->Scores() == scores);
    EXPECT_TRUE(*pca->GetScoreImage(0, 0) == image);
}

// A correction with fixed maps per slice.
class TFixedCorrection : public TPCACorrection {
public:
    TFixedCorrection(TAnalysisPCA* analysis, std::vector<float> phase, std::vector<float> frequency)
        : TPCACorrection(analysis)
    {
        if (!phase.empty())
            m_phase = Matrix(phase);
        m_frequency = Matrix(frequency);
    }
    const TFloatMatrix* GetPhaseCorrectionMap(int slice) const override
    {
        return slice == 0 && m_phase.HasData() ? &m_phase : nullptr;
    }
    const TFloatMatrix* GetFrequencyCorrectionMap(int slice) const override
    {
        return slice == 0 ? &m_frequency : nullptr;
    }

private:
    static TFloatMatrix Matrix(const std::vector<float>& v)
    {
        TFloatMatrix m;
        m.Resize(2, 2);
        for (uint32_t i = 0; i < 4; ++i)
            m.Set(i / 2, i % 2, v[i]);
        return m;
    }
    TFloatMatrix m_phase, m_frequency;
};

TEST_F(AnalysisPCATest, CorrectionsAreSummedPoppedAndDetachedBothWays)
{
    auto pca = MakePCA(2);
    EXPECT_EQ(pca->GetPhaseCorrection(0), nullptr);
    auto a = std::make_unique<TFixedCorrection>(pca.get(), std::vector<float>{1, 2, 3, 4}, std::vector<float>{1, 1, 1, 1});
    auto b = std::make_unique<TFixedCorrection>(pca.get(), std::vector<float>{}, std::vector<float>{0.5f, 0, 0, 2});
    auto c = std::make_unique<TFixedCorrection>(pca.get(), std::vector<float>{10, 20, 30, 40}, std::vector<float>{0, 0, 0, 0});
    EXPECT_EQ(pca->GetCorrectionCount(), 0);  // made, not yet applied
    pca->PushCorrection(a.get());
    pca->PushCorrection(b.get());
    ASSERT_EQ(pca->GetCorrectionCount(), 2);
    std::unique_ptr<TFloatMatrix> frequency = pca->GetFrequencyCorrection(0);
    ASSERT_TRUE(frequency);
    EXPECT_EQ(frequency->At(0, 0), 1.5f);
    EXPECT_EQ(frequency->At(1, 1), 3.0f);
    // A correction without a phase map adds nothing to the phase sum.
    std::unique_ptr<TFloatMatrix> phase = pca->GetPhaseCorrection(0);
    ASSERT_TRUE(phase);
    EXPECT_EQ(phase->At(1, 0), 3.0f);
    EXPECT_EQ(pca->GetFrequencyCorrection(1), nullptr);

    pca->PushCorrection(c.get());
    pca->PopCorrection();  // undo takes exactly the last one off
    EXPECT_EQ(pca->Corrections(), (std::vector<TPCACorrection*>{a.get(), b.get()}));
    pca->PushCorrection(c.get());

    // A deleted correction leaves the list; a deleted analysis leaves its corrections without one.
    a.reset();
    EXPECT_EQ(pca->Corrections(), (std::vector<TPCACorrection*>{b.get(), c.get()}));
    EXPECT_EQ(pca->GetPhaseCorrection(0)->At(0, 1), 20.0f);
    pca.reset();
    EXPECT_EQ(b->GetAnalysis(), nullptr);
    EXPECT_EQ(c->GetAnalysis(), nullptr);
}

}  // namespace
