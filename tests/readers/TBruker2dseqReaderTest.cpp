// The 2dseq CSI reader on synthetic reconstructions: complex, imaginary and real data, with
// the transforms done or left to the reader, and the method file the user names.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Files.h"
#include "readers/BrukerTestFiles.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

using Complex = std::complex<double>;
using TValue = std::function<Complex(int, int, int, int)>;
constexpr int k2dseq = 19;
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

}  // namespace

// Whichever transforms the reconstruction left, the reader does the rest: the line ends on
// its voxel and point, complex data with the filter delay taken out. Imaginary-only and real
// data fill one part, have their echo in the middle and get no group-delay phase. A coronal
// grid is stored x fastest, then z, then y.
TEST(Bruker2dseqReader, EveryVariantEndsAsOneLine)
{
    TBrukerCSIScan axial, coronal;
    std::copy_n(std::begin({8, 4, 6}), 3, axial.matrix);
    coronal.sliceOrient = "coronal";
    coronal.readOrient = "H_F";  // x 3 (phase), y 2 (slice), z 4 (read)
    std::copy_n(std::begin({4, 3, 2}), 3, coronal.matrix);
    axial.points = coronal.points = 64;
    const int peak = 17, inAxial[3] = {5, 1, 4}, inCoronal[3] = {2, 1, 3};
    std::vector<Complex> lines[3];
    for (int d = 0; d < 3; ++d)
        lines[d] = KSpaceLineForVoxel(axial.matrix[d], inAxial[d]);  // axial L_R: directions are x, y, z
    const auto kspace = [&](int x, int y, int z) {
        return lines[0][size_t(x)] * lines[1][size_t(y)] * lines[2][size_t(z)];
    };
    const auto fid = DelayedLine(64, peak, kDelay, true);  // the reader reverses the frequency axis
    // Point `peak` of a spectrum, carrying the phase that the group-delay correction takes away.
    const auto spectrum = [&](int k) {
        return k == peak ? kAmplitude * std::exp(Complex(0.0, (k - 32) * 2.0 * std::numbers::pi * kDelay / 64)) : Complex();
    };
    const auto only = [](const int v[3], Complex value) {
        return [v, value](int x, int y, int z, int k) {
            return x == v[0] && y == v[1] && z == v[2] && k == peak ? value : Complex();
        };
    };
    const struct {
        const char *ftMode, *type;
        int imageType;
        bool isAxial;
        TValue value;
        double height;  // the spectral transform sums the N samples, the spatial one averages
        double phase;
        int echo;
    } cases[] = {
        {"COMPLEX_FT COMPLEX_FFT", "COMPLEX_IMAGE", 0, true, [&](int x, int y, int z, int k) {
             return x == 5 && y == 1 && z == 4 ? spectrum(k) : Complex(); }, kAmplitude, 0, 0},
        {"NO_FT NO_FT", "COMPLEX_IMAGE", 0, true,
         [&](int x, int y, int z, int k) { return kAmplitude * kspace(x, y, z) * fid[size_t(k)]; }, kAmplitude * 64, 0, 0},
        {"COMPLEX_FT NO_FT", "COMPLEX_IMAGE", 0, true,
         [&](int x, int y, int z, int k) { return kspace(x, y, z) * spectrum(k); }, kAmplitude, 0, 0},
        {"COMPLEX_FT COMPLEX_FFT", "IMAGINARY_IMAGE", 1, false, only(inCoronal, Complex(0, kAmplitude)), kAmplitude,
         std::numbers::pi / 2, 32},
        {"COMPLEX_FT COMPLEX_FFT", "MAGNITUDE_IMAGE", 2, false, only(inCoronal, kAmplitude), kAmplitude, 0, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ftMode) + " " + c.type);
        TScriptedReport report;
        report.PlanAnswer(vx::ReportAnswer::Yes);
        TSeqExperiment e(c.isAxial ? axial : coronal, c.ftMode, c.type, c.imageType, c.value);
        TScriptedFileChooser chooser(e.Method());
        auto set = ReadAs(k2dseq, e.seq);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_strName, "7_pdata_1_2dseq");
        EXPECT_EQ((std::vector<int>{set->m_nFormat, set->m_bKSpace, set->m_bFrequencyDomain, set->m_nEchoPosition}),
                  (std::vector<int>{19, 0, 1, c.echo}));
        EXPECT_FLOAT_EQ(set->m_fSliceThickness, c.isAxial ? 40.0f / 6.0f : 20.0f);
        ExpectSingleLine(*set, c.isAxial ? inAxial : inCoronal, peak, c.height, c.phase);
        EXPECT_EQ(report.Questions(), std::vector<std::string>{kQuestion});
        EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::Exclamation);
        ASSERT_EQ(chooser.Requests().size(), 1u);
        EXPECT_EQ(chooser.Requests()[0].title, "Please select method file...");
        EXPECT_EQ(chooser.Requests()[0].filter, "All Files (*.*)|*.*");
        EXPECT_EQ(chooser.Requests()[0].folder, e.root.File("7/pdata/1"));
    }
}

// No ends the read quietly; a cancelled dialog or a batch run takes the method file beside
// the 2dseq file, never one of the process's working folder, and names it when it is not
// there.
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
        EXPECT_EQ(ReadAs(k2dseq, e.seq), nullptr);
        EXPECT_TRUE(chooser.Requests().empty());
        EXPECT_EQ(report.Count(), 1u);
    }
    for (bool batch : {false, true}) {
        TScriptedReport report;
        report.AllowDefaults();
        TScriptedFileChooser cancelled;
        g_bBatchMode = batch;
        TSeqExperiment beside(scan, "COMPLEX_FT COMPLEX_FFT", "REAL_IMAGE", 2, ramp, "pdata/1");
        EXPECT_NE(ReadAs(k2dseq, beside.seq), nullptr) << batch;
        TSeqExperiment above(scan, "COMPLEX_FT COMPLEX_FFT", "REAL_IMAGE", 2, ramp);
        EXPECT_EQ(ReadAs(k2dseq, above.seq), nullptr) << batch;
        EXPECT_EQ(report.Questions().size(), batch ? 0u : 2u);
        const std::string reason = "Can't read parameter file " + above.root.File("7/pdata/1/method") + ".";
        EXPECT_EQ(report.Messages(), batch ? std::vector<std::string>{} : std::vector<std::string>{reason});
        EXPECT_EQ(g_batchLog, batch ? reason + "\r\n" : "");
        vx::ResetGlobals();
    }
}

// Data short of the grid, a reco file missing or describing no usable grid: no set, and a
// line that says why (in a batch run, in the log).
TEST(Bruker2dseqReader, BrokenReconstructionsGiveNoSet)
{
    TBrukerCSIScan scan;
    std::fill_n(scan.matrix, 3, 2);
    scan.points = 8;
    const TValue ramp = [](int, int, int, int k) { return Complex(k, -k); };
    const std::string files = "The parameter files of $/7/pdata/1/2dseq ";
    const struct {
        const char* name;
        std::string sizes;  // "" keeps the scan's
        std::string type;
        size_t cut;          // bytes taken off the end of the 2dseq file
        const char* remove;  // a file of the experiment taken away
        std::string message; // "$" stands for the experiment's folder; "" when the set is read
        std::vector<vx::TFileFault> faults = {};  // armed for the read
        bool asText = false;  // the file taken away is put back under its name with ".txt"
    } cases[] = {
        {"one integer short of 2T", "", "COMPLEX_IMAGE", 4, nullptr,
         "Data file $/7/pdata/1/2dseq is shorter than its parameter files describe (508 of 512 bytes)."},
        {"one integer short of T", "", "REAL_IMAGE", 260, nullptr,
         "Data file $/7/pdata/1/2dseq is shorter than its parameter files describe (252 of 256 bytes)."},
        {"size line too short", "8 2", "COMPLEX_IMAGE", 0, nullptr, files + "give a matrix size below 1 (##$RECO_size)."},
        {"no points", "0 2 2 2", "COMPLEX_IMAGE", 0, nullptr, files + "give no points per spectrum (##$RECO_size)."},
        {"huge sizes", "2147483647 65536 65536 65536", "COMPLEX_IMAGE", 0, nullptr,
         files + "describe a grid too large to read: 65536 x 65536 x 65536 voxels of 2147483647 points."},
        {"no reco file", "", "COMPLEX_IMAGE", 0, "7/pdata/1/reco", "Could not find parameter file reco or reco.txt."},
        {"no reco file by its name, in a folder that cannot be listed", "", "COMPLEX_IMAGE", 0, "7/pdata/1/reco",
         "Could not look for parameter file reco or reco.txt: the folder $/7/pdata/1 cannot be listed: input/output "
         "error.",
         {{vx::kFileList, EIO, 1}}},
        {"no acqp file by its name, in a folder the file system refuses to list", "", "COMPLEX_IMAGE", 0,
         "7/pdata/1/acqp",
         "Could not look for parameter file acqp or acqp.txt: the folder $/7/pdata/1 cannot be listed: permission "
         "denied.",
         {{vx::kFileList, EPERM, 1}}},
        {"no method file by its name, in a folder that cannot be listed", "", "COMPLEX_IMAGE", 0, "7/pdata/1/method",
         "Could not look for parameter file method: the folder $/7/pdata/1 cannot be listed: input/output error.",
         {{vx::kFileList, EIO, 1}}},
        {"reco.txt by its exact name, in a folder that cannot be listed", "", "COMPLEX_IMAGE", 0, "7/pdata/1/reco",
         "", {{vx::kFileList, EIO, 1, true}}, true},
        {"acqp.txt by its exact name, in a folder the file system refuses to list", "", "COMPLEX_IMAGE", 0,
         "7/pdata/1/acqp", "", {{vx::kFileList, EPERM, 1, true}}, true},
        {"a data file whose size cannot be read", "", "COMPLEX_IMAGE", 0, nullptr,
         "Data file $/7/pdata/1/2dseq is not read: its size could not be read: input/output error.",
         {{vx::kFileSize, EIO, 4, true}}},
        {"a data file that fails while it is read", "", "COMPLEX_IMAGE", 0, nullptr,
         "Data file $/7/pdata/1/2dseq cannot be read to its end: input/output error.", {{vx::kFileRead, EIO, 4}}},
        {"a parameter file whose size cannot be read", "", "COMPLEX_IMAGE", 0, nullptr,
         "Parameter file $/7/pdata/1/method is not read: its size could not be read: input/output error.",
         {{vx::kFileSize, EIO, 1}}},
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
        if (c.remove && c.asText)
            EXPECT_EQ(std::rename(e.root.File(c.remove).c_str(), (e.root.File(c.remove) + ".txt").c_str()), 0);
        else if (c.remove)
            vx::RemoveFile(e.root.File(c.remove));
        {
            TFileFaultScope fault(c.faults);
            EXPECT_EQ(ReadAs(k2dseq, e.seq) != nullptr, c.message.empty());
        }
        EXPECT_EQ(report.Count(), 0u);
        std::string message = c.message;
        if (const size_t at = message.find('$'); at != std::string::npos)
            message.replace(at, 1, e.root.Path());
        EXPECT_EQ(g_batchLog, message.empty() ? "" : message + "\r\n");
        vx::ResetGlobals();
    }
    g_bBatchMode = true;
    TSeqExperiment e(scan, "NO_FT NO_FT", "COMPLEX_IMAGE", 0, ramp, "pdata/1");
    vx::RemoveFile(e.seq);
    EXPECT_EQ(ReadAs(k2dseq, e.seq), nullptr);
    EXPECT_EQ(g_batchLog, "Can not open CSI data set file " + e.seq + "\r\n");
    EXPECT_TRUE(g_bBatchError);
    vx::ResetGlobals();
}
