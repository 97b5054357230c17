#include "processing/TAnalysisPCA.h"

#include <algorithm>
#include <stdexcept>

#include "model/math/MatrixHelpers.h"
#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"
#include "platform/Lapack.h"
#include "platform/Report.h"
#include "processing/TPCACorrection.h"

namespace {

// Widest peak region: the second-moment matrix and its eigenvectors take P x P doubles.
constexpr int kMaxPoints = 8192;
// Data rows turned into doubles at a time while the second-moment matrix is summed.
constexpr uint32_t kRowBlock = 512;

std::string NameOf(int first, int last, int components)
{
    const auto text = [](int v) { return FloatToString(static_cast<float>(v), 5); };
    return "PCA_" + text(first) + "_" + text(last) + "_" + text(components);
}

}  // namespace

TAnalysisPCA::TAnalysisPCA(int first, int last, int components, const int32_t* intervals, int intervalCount)
    : TAnalysis(first, last, components, intervals, intervalCount)
{
    m_strName = NameOf(first, last, components);
}

TAnalysisPCA::TAnalysisPCA() = default;

TAnalysisPCA::~TAnalysisPCA()
{
    for (TPCACorrection* correction : m_attached)
        correction->m_pAnalysis = nullptr;
}

// --- computing ------------------------------------------------------------------------------

bool TAnalysisPCA::Compute()
{
    if (!m_pSet || !m_pSet->IsLoaded())
        return false;
    // More components than points have no eigenvectors to fill them.
    if (m_nComponents > PointCount())
        return false;
    if (PointCount() > kMaxPoints) {
        vx::Report("The peak region is too wide for a principal component analysis: at most " +
                   std::to_string(kMaxPoints) + " points.");
        return false;
    }
    if (!BuildDataMatrix() || !Decompose())
        return false;

    const uint32_t p = m_components.Columns();
    const auto k = static_cast<uint32_t>(m_nComponents);
    double sum = 0.0;
    for (uint32_t j = 0; j < p; ++j)
        sum += m_components.At(0, j);
    if (sum < 0.0)
        for (uint32_t j = 0; j < p; ++j)
            m_components.Set(0, j, -m_components.At(0, j));

    // Scores of the uncentred data.
    for (uint32_t v = 0; v < m_data.Rows(); ++v) {
        const float* x = m_data.ElementPtr(v, 0);
        for (uint32_t c = 0; c < k; ++c) {
            const float* component = m_components.ElementPtr(c, 0);
            double score = 0.0;
            for (uint32_t j = 0; j < p; ++j)
                score += static_cast<double>(x[j]) * component[j];
            m_scores.Set(v, c, static_cast<float>(score));
        }
    }
    BuildScoreImages();
    return true;
}

bool TAnalysisPCA::Decompose()
{
    const int p = static_cast<int>(m_data.Columns());
    const int k = m_nComponents;
    const uint32_t n = m_data.Rows();
    if (p < 1 || k < 1 || k > p || n < 1 || m_components.Rows() != static_cast<uint32_t>(k) ||
        m_components.Columns() != static_cast<uint32_t>(p))
        return false;

    // M = X'X / P, lower triangle, summed over blocks of rows. A block of rows of the
    // row-major X is, column-major, the P x rows matrix A with M += A A' / P.
    std::vector<double> m(size_t(p) * p, 0.0);
    std::vector<double> block;
    const double alpha = 1.0 / p;
    for (uint32_t first = 0; first < n; first += kRowBlock) {
        const int rows = static_cast<int>(std::min(kRowBlock, n - first));
        const float* x = m_data.ElementPtr(first, 0);
        block.assign(x, x + size_t(rows) * p);
        const double beta = first == 0 ? 0.0 : 1.0;
        dsyrk_("L", "N", &p, &rows, &alpha, block.data(), &p, &beta, m.data(), &p, 1, 1);
    }
    block = {};

    // The k largest eigenpairs: indices p-k+1 .. p of the ascending order.
    const int il = p - k + 1, iu = p;
    const double vl = 0.0, vu = 0.0, abstol = 0.0;
    int found = 0, info = 0;
    std::vector<double> w(p), z(size_t(p) * k);
    std::vector<int> isuppz(2 * size_t(k));
    int lwork = -1, liwork = -1, iworkSize = 0;
    double workSize = 0.0;
    dsyevr_("V", "I", "L", &p, m.data(), &p, &vl, &vu, &il, &iu, &abstol, &found, w.data(), z.data(), &p,
            isuppz.data(), &workSize, &lwork, &iworkSize, &liwork, &info, 1, 1, 1);
    if (info == 0) {
        lwork = std::max(1, static_cast<int>(workSize));
        liwork = std::max(1, iworkSize);
        std::vector<double> work(lwork);
        std::vector<int> iwork(liwork);
        dsyevr_("V", "I", "L", &p, m.data(), &p, &vl, &vu, &il, &iu, &abstol, &found, w.data(), z.data(), &p,
                isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1, 1, 1);
    }
    if (info != 0 || found != k) {
        vx::Report(kEigenFailedText);
        return false;
    }

    double total = 0.0;
    for (int c = 0; c < k; ++c)
        total += w[c];
    for (int c = 0; c < k; ++c) {
        // Largest first: eigenpair k-1-c of the ascending output.
        const int from = k - 1 - c;
        const double* vector = z.data() + size_t(from) * p;
        for (int j = 0; j < p; ++j)
            m_components.Set(static_cast<uint32_t>(c), static_cast<uint32_t>(j), static_cast<float>(vector[j]));
        // All-zero data have no variance to share out.
        m_weights.Set(0, static_cast<uint32_t>(c), total > 0.0 ? static_cast<float>(100.0 * w[from] / total) : 0.0f);
    }
    return true;
}

// --- corrections ---------------------------------------------------------------------------

void TAnalysisPCA::PushCorrection(TPCACorrection* correction)
{
    if (!correction)
        return;
    if (correction->m_pAnalysis != this) {
        if (correction->m_pAnalysis)
            correction->m_pAnalysis->Forget(correction);
        correction->m_pAnalysis = this;
    }
    if (std::find(m_attached.begin(), m_attached.end(), correction) == m_attached.end())
        m_attached.push_back(correction);
    m_corrections.push_back(correction);
}

void TAnalysisPCA::PopCorrection()
{
    if (!m_corrections.empty())
        m_corrections.pop_back();
}

void TAnalysisPCA::Forget(TPCACorrection* correction)
{
    std::erase(m_corrections, correction);
    std::erase(m_attached, correction);
}

template <typename MapOf>
std::unique_ptr<TFloatMatrix> TAnalysisPCA::SumCorrections(MapOf mapOf) const
{
    std::unique_ptr<TFloatMatrix> sum;
    for (const TPCACorrection* correction : m_corrections) {
        const TFloatMatrix* map = mapOf(*correction);
        if (!map || !map->HasData())
            continue;
        if (!sum) {
            sum = std::make_unique<TFloatMatrix>();
            sum->Resize(map->Rows(), map->Columns());
        }
        if (map->Rows() != sum->Rows() || map->Columns() != sum->Columns())
            throw std::runtime_error("fatal!");
        const float* from = map->Data();
        float* to = sum->Data();
        for (size_t i = 0; i < size_t(map->Rows()) * map->Columns(); ++i)
            to[i] += from[i];
    }
    return sum;
}

std::unique_ptr<TFloatMatrix> TAnalysisPCA::GetPhaseCorrection(int index) const
{
    return SumCorrections([index](const TPCACorrection& c) { return c.GetPhaseCorrectionMap(index); });
}

std::unique_ptr<TFloatMatrix> TAnalysisPCA::GetFrequencyCorrection(int index) const
{
    return SumCorrections([index](const TPCACorrection& c) { return c.GetFrequencyCorrectionMap(index); });
}
