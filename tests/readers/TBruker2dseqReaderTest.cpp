// The 2dseq CSI reader on synthetic reconstructions: complex, imaginary and real data, with
// the transforms done or left to the reader, and the method file the user names.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "readers/BrukerTestFiles.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

using Complex = std::complex<double>;
using TValue = std::function<Complex(int, int, int, int)>;
constexpr double kAmplitude = 1 << 20;
constexpr double kDelay = 68.5;
const char kQuestion[] =
    "For Bruker CSI file,  method file is required. Click Yes to select the method file, No to cancel.";

// The 2dseq bytes of value(x, y, z, k): the first in-plane axis fastest, then the second,
// then the slice axis, each grid point's points together; complex data (type 0) hold every
// real part, then every imaginary part; imaginary (1) and real (2) data one run.
std::string SeqBytes(const TBrukerCSIScan& scan, int imageType, const TValue& value)
{
    const int slice = scan.SliceAxis(), a = slice == 0 ? 1 : 0, b = slice == 2 ? 1 : 2;
    int n[3];
    n[scan.ReadAxis()] = scan.matrix[0];
    n[scan.PhaseAxis()] = scan.matrix[1];
    n[slice] = scan.matrix[2];
    std::string real, imag;
    int i[3];
    for (i[slice] = 0; i[slice] < n[slice]; ++i[slice])
        for (i[b] = 0; i[b] < n[b]; ++i[b])
            for (i[a] = 0; i[a] < n[a]; ++i[a])
                for (int k = 0; k < scan.points; ++k) {
                    const Complex v = value(i[0], i[1], i[2], k);
                    AppendInt32(real, v.real());
                    AppendInt32(imag, v.imag());
                }
    return imageType == 0 ? real + imag : imageType == 1 ? imag : real;
}

// Experiment "7" with the reconstruction in 7/pdata/1; method and acqp in `methodFolder`
// ("" for 7 itself, "pdata/1" beside the 2dseq file).
struct TSeqExperiment {
    TTempFolder root;
    std::string seq = root.File("7/pdata/1/2dseq");
    TSeqExperiment(const TBrukerCSIScan& scan, const std::string& ftMode, const std::string& type, int imageType,
                   const TValue& value, const std::string& methodFolder = "")
    {
        for (const char* folder : {"7", "7/pdata", "7/pdata/1"})
            vx::MakeFolder(root.File(folder));
        const std::string at = root.File(methodFolder.empty() ? "7" : "7/" + methodFolder);
        WriteBytes(at + "/method", JcampText(CSIMethodLines(scan, "##$CSIRecoMatrix")));
        WriteBytes(at + "/acqp", JcampText(AcqpLines(300.3, kDelay, 32, 11)));
        const std::string sizes = std::to_string(scan.points) + " " + std::to_string(scan.matrix[0]) + " " +
                                  std::to_string(scan.matrix[1]) + " " + std::to_string(scan.matrix[2]);
        WriteBytes(root.File("7/pdata/1/reco"), JcampText(RecoLines(sizes, ftMode, type)));
        WriteBytes(seq, SeqBytes(scan, imageType, value));
    }
    std::string Method() const { return root.File("7/method"); }
};

std::unique_ptr<TCSISet> Read2dseq(const std::string& path)
{
    return ReadBruker(19, path);
}

}  // namespace

// Complex data: whichever transforms the reconstruction left, the reader does the rest, and
// the line ends on its voxel and point with the filter delay taken out.
TEST(Bruker2dseqReader, ComplexDataEndsAsOneLine)
{
    TBrukerCSIScan scan;
    std::copy_n(std::begin({8, 4, 6}), 3, scan.matrix);
    scan.points = 64;
    const int voxel[3] = {5, 1, 4}, peak = 17;
    std::vector<Complex> lines[3];
    for (int d = 0; d < 3; ++d)
        lines[d] = KSpaceLineForVoxel(scan.matrix[d], voxel[d]);  // axial L_R: directions are x, y, z
    const auto kspace = [&](int x, int y, int z) {
        return lines[0][size_t(x)] * lines[1][size_t(y)] * lines[2][size_t(z)];
    };
    const auto fid = DelayedLine(scan.points, peak, kDelay, true);  // the reader reverses the frequency axis
    // A spectrum whose point `peak` carries the phase the group-delay correction takes away.
    const auto spectrum = [&](int k) {
        const double phase = (k - scan.points / 2) * (-2.0 * std::numbers::pi * kDelay) / scan.points;
        return k == peak ? kAmplitude * std::exp(Complex(0.0, -phase)) : Complex();
    };
    const struct {
        const char* ftMode;
        TValue value;
        double height;  // the spectral transform sums the N samples, the spatial one averages
    } cases[] = {
        {"COMPLEX_FT COMPLEX_FFT",
         [&](int x, int y, int z, int k) { return x == 5 && y == 1 && z == 4 ? spectrum(k) : Complex(); }, kAmplitude},
        {"NO_FT NO_FT", [&](int x, int y, int z, int k) { return kAmplitude * kspace(x, y, z) * fid[size_t(k)]; },
         kAmplitude * scan.points},
        {"COMPLEX_FT NO_FT", [&](int x, int y, int z, int k) { return kspace(x, y, z) * spectrum(k); }, kAmplitude},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ftMode);
        TScriptedReport report;
        report.PlanAnswer(vx::ReportAnswer::Yes);
        TSeqExperiment e(scan, c.ftMode, "COMPLEX_IMAGE", 0, c.value);
        TScriptedFileChooser chooser(e.Method());
        auto set = Read2dseq(e.seq);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_strName, "7_pdata_1_2dseq");
        EXPECT_EQ(set->m_nFormat, 19);
        EXPECT_EQ(set->m_bKSpace, 0);
        EXPECT_EQ(set->m_bFrequencyDomain, 1);
        EXPECT_EQ(set->m_nEchoPosition, 0);
        EXPECT_FLOAT_EQ(set->m_fSliceThickness, 40.0f / 6.0f);
        ExpectSingleLine(*set, voxel, peak, c.height);
        EXPECT_EQ(report.Questions(), std::vector<std::string>{kQuestion});
        EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::Exclamation);
        ASSERT_EQ(chooser.Requests().size(), 1u);
        EXPECT_EQ(chooser.Requests()[0].title, "Please select method file...");
        EXPECT_EQ(chooser.Requests()[0].filter, "All Files (*.*)|*.*");
        EXPECT_EQ(chooser.Requests()[0].folder, e.root.File("7/pdata/1"));
    }
}

// Imaginary-only and real data take one run; the other part is 0, the echo lies in the
// middle, and no group-delay phase is applied. A coronal grid runs x, then z, then y.
TEST(Bruker2dseqReader, ImaginaryAndRealDataFillOnePart)
{
    TBrukerCSIScan scan;
    scan.sliceOrient = "coronal";
    scan.readOrient = "H_F";
    std::copy_n(std::begin({4, 3, 2}), 3, scan.matrix);
    scan.points = 8;
    const auto pattern = [](int x, int y, int z, int k) { return float(1000 * x + 100 * y + 10 * z + k); };
    for (int type : {1, 2}) {
        TScriptedReport report;
        report.AllowDefaults();
        TSeqExperiment e(scan, "COMPLEX_FT COMPLEX_FFT", type == 1 ? "IMAGINARY_IMAGE" : "MAGNITUDE_IMAGE", type,
                         [&](int x, int y, int z, int k) {
                             return type == 1 ? Complex(0, pattern(x, y, z, k)) : Complex(pattern(x, y, z, k), 0);
                         });
        TScriptedFileChooser chooser(e.Method());
        auto set = Read2dseq(e.seq);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_bEchoShifted, 1);
        EXPECT_EQ(set->m_nEchoPosition, 4);
        for (int x = 0; x < 3; ++x)
            for (int y = 0; y < 2; ++y)
                for (int z = 0; z < 4; ++z)
                    for (int k = 0; k < 8; ++k) {
                        // The sampling mask is made through k-space and back: rounding only.
                        const TSpectrum* s = set->GetVoxel(x, y, z);
                        EXPECT_NEAR(s->GetReal(k), type == 1 ? 0.0f : pattern(x, y, z, k), 1e-3);
                        EXPECT_NEAR(s->GetImag(k), type == 1 ? pattern(x, y, z, k) : 0.0f, 1e-3);
                    }
    }
}

// No ends the read quietly; a cancelled dialog or a batch run takes the method file beside
// the 2dseq file, never one of the process's working folder.
TEST(Bruker2dseqReader, MethodFileIsChosenOrFoundBesideTheData)
{
    TBrukerCSIScan scan;
    std::fill_n(scan.matrix, 3, 2);
    scan.points = 8;
    const TValue ramp = [](int, int, int, int k) { return Complex(k, 0); };
    {
        TScriptedReport report;
        report.PlanAnswer(vx::ReportAnswer::No);
        TSeqExperiment e(scan, "COMPLEX_FT COMPLEX_FFT", "REAL_IMAGE", 2, ramp);
        TScriptedFileChooser chooser(e.Method());
        EXPECT_EQ(Read2dseq(e.seq), nullptr);
        EXPECT_TRUE(chooser.Requests().empty());
        EXPECT_EQ(report.Count(), 1u);
    }
    for (bool batch : {false, true}) {
        TScriptedReport report;
        report.AllowDefaults();
        TScriptedFileChooser cancelled;
        g_bBatchMode = batch;
        TSeqExperiment beside(scan, "COMPLEX_FT COMPLEX_FFT", "REAL_IMAGE", 2, ramp, "pdata/1");
        EXPECT_NE(Read2dseq(beside.seq), nullptr) << batch;
        TSeqExperiment above(scan, "COMPLEX_FT COMPLEX_FFT", "REAL_IMAGE", 2, ramp);
        EXPECT_EQ(Read2dseq(above.seq), nullptr) << batch;
        EXPECT_EQ(report.Questions().size(), batch ? 0u : 2u);
        EXPECT_TRUE(report.Messages().empty());
        EXPECT_EQ(g_batchLog, "");
        vx::ResetGlobals();
    }
}

// Data short of the grid, reco sizes missing, short or huge: no set and no message. A missing
// reco or 2dseq file is named; in a batch run the 2dseq line goes to the log.
TEST(Bruker2dseqReader, BrokenReconstructionsGiveNoSet)
{
    TBrukerCSIScan scan;
    std::fill_n(scan.matrix, 3, 2);
    scan.points = 8;
    const TValue ramp = [](int, int, int, int k) { return Complex(k, -k); };
    const struct {
        const char* name;
        std::string sizes;  // "" keeps the scan's
        std::string type;
        size_t cut;          // bytes taken off the end of the 2dseq file
        const char* remove;  // a file of the experiment taken away
        std::string message;
    } cases[] = {
        {"one integer short of 2T", "", "COMPLEX_IMAGE", 4, nullptr, ""},
        {"size line too short", "8 2", "COMPLEX_IMAGE", 0, nullptr, ""},
        {"huge sizes", "2147483647 65536 65536 65536", "COMPLEX_IMAGE", 0, nullptr, ""},
        {"no reco file", "", "COMPLEX_IMAGE", 0, "7/pdata/1/reco", "Could not find parameter file reco or reco.txt."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedReport report;
        g_bBatchMode = true;
        TSeqExperiment e(scan, "NO_FT NO_FT", c.type, 0, ramp, "pdata/1");
        if (!c.sizes.empty())
            WriteBytes(e.root.File("7/pdata/1/reco"), JcampText(RecoLines(c.sizes, "NO_FT NO_FT", c.type)));
        const std::string bytes = ReadBytes(e.seq);
        WriteBytes(e.seq, bytes.substr(0, bytes.size() - c.cut));
        if (c.remove)
            vx::RemoveFile(e.root.File(c.remove));
        EXPECT_EQ(Read2dseq(e.seq), nullptr);
        const auto expected = c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message};
        EXPECT_EQ(report.Messages(), expected);
        EXPECT_EQ(g_batchLog, "");
        vx::ResetGlobals();
    }
    g_bBatchMode = true;
    TSeqExperiment e(scan, "NO_FT NO_FT", "COMPLEX_IMAGE", 0, ramp, "pdata/1");
    vx::RemoveFile(e.seq);
    EXPECT_EQ(Read2dseq(e.seq), nullptr);
    EXPECT_EQ(g_batchLog, "Can not open CSI data set file " + e.seq + "\r\n");
    EXPECT_TRUE(g_bBatchError);
    vx::ResetGlobals();
}
