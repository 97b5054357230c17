// The method, acqp and reco files of the Bruker CSI readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>

#include "model/TCSISet.h"
#include "readers/BrukerTestFiles.h"
#include "readers/TBrukerFidReader.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

// Runs the header parsers of a reader one at a time on the set it builds.
template <typename Reader>
struct TProbe : Reader {
    TCSIReadParams block;
    TProbe() : Reader(&block) { this->m_pCSISet = std::make_unique<TCSISet>(); }
    TCSISet& Set() { return *this->m_pCSISet; }
    const TCSIReadParams& Params() const { return this->m_params; }
};

struct TParsed {
    TProbe<TBrukerFidReader> probe;
    bool ok = false;
    std::vector<std::string> messages;
    std::string method;  // the method file's path
};

// Parses a method file (and an acqp file) of the fid reader in a fresh folder.
std::unique_ptr<TParsed> ParseFid(const std::string& method, const TJcampLines& acqp = AcqpLines(300.3, 0, 32, 11),
                                  const char* acqpName = "acqp")
{
    TScriptedReport report;
    TTempFolder folder;
    WriteBytes(folder.File("method"), method);
    WriteBytes(folder.File(acqpName), JcampText(acqp));
    auto parsed = std::make_unique<TParsed>();
    parsed->method = folder.File("method");
    parsed->ok = parsed->probe.ParseHeader(parsed->method);
    for (const auto& entry : report.Entries())
        parsed->messages.push_back(entry.text);
    return parsed;
}

std::string FidMethod(const TBrukerCSIScan& scan = {}, const std::string& eol = "\n")
{
    return JcampText(CSIMethodLines(scan, "##$CSITotalMatrix"), eol);
}

}  // namespace

// The values the key cases look at, as one line.
std::string Summary(const TCSISet& s)
{
    std::ostringstream out;
    out << "grid " << s.m_nDim[0] << " " << s.m_nDim[1] << " " << s.m_nDim[2] << ", fov " << s.m_fFOV[0] << " "
        << s.m_fFOV[1] << " " << s.m_fFOV[2] << ", points " << s.m_nPoints << " " << s.m_nLastPoint << " "
        << s.m_fPPMCentrePoint << ", columns " << s.m_fRotation[1][0] << " " << s.m_fRotation[2][2] << ", box "
        << s.m_nVolumes << " " << s.m_fVolSize[0][0] << " " << s.m_fVolSize[1][0] << " " << s.m_fVolSize[2][0]
        << " at " << s.m_fVolOffCentre[0][0] << " " << s.m_fVolOffCentre[1][0] << " " << s.m_fVolOffCentre[2][0];
    return out.str();
}

// What the keys store, including value lines too short for their key (missing entries read
// as 0) and array keys met before the dimension is known (their lines are still consumed).
TEST(BrukerParameterFiles, KeysAndTheirValues)
{
    const TJcampLines base = CSIMethodLines({}, "##$CSITotalMatrix");
    TJcampLines late = WithLine(base, "##$PVM_SpatDimEnum", "");
    late.insert(late.end() - 2, {"##$PVM_SpatDimEnum", "=3D"});
    TJcampLines box = WithLine(base, "##$CSISlab", "=voxel");
    box.push_back({"##$PVM_VoxArrSize", JcampArray("10 20 30")});
    box.push_back({"##$PVM_VoxArrPosition", JcampArray("1 2 3")});
    const struct {
        TJcampLines lines;
        const char* summary;
    } cases[] = {
        {base, "grid 8 8 8, fov 80 60 40, points 256 255 128, columns 0 1, box 0 0 0 0 at 0 0 0"},
        {WithLine(base, "##$PVM_SpecMatrix", JcampArray("1023")),
         "grid 8 8 8, fov 80 60 40, points 1023 1022 511, columns 0 1, box 0 0 0 0 at 0 0 0"},
        {WithLine(WithLine(base, "##$PVM_SpatDimEnum", "=2D"), "##$CSITotalMatrix", JcampArray("8 4")),
         "grid 8 4 1, fov 80 60 40, points 256 255 128, columns 0 1, box 0 0 0 0 at 0 0 0"},
        {late, "grid 0 0 0, fov 0 0 40, points 256 255 128, columns 0 1, box 0 0 0 0 at 0 0 0"},
        {WithLine(WithLine(base, "##$PVM_Fov", "=( 3 )\n80"), "##$CSITotalMatrix", "=( 3 )\n8"),
         "grid 8 0 0, fov 80 0 40, points 256 255 128, columns 0 1, box 0 0 0 0 at 0 0 0"},
        // Nine numbers over two lines; what follows the ninth is an ordinary line.
        {WithLine(base, "##$PVM_SPackArrGradOrient", "=( 1, 3, 3 )\n0 1 0 1 0\n0 0 0 -1 ##$Other=1"),
         "grid 8 8 8, fov 80 60 40, points 256 255 128, columns 1 -1, box 0 0 0 0 at 0 0 0"},
        // Text in place of the ninth number ends the scan: the keys after it are not read.
        {WithLine(base, "##$PVM_SPackArrGradOrient", "=( 1, 3, 3 )\n1 0 0 0 1 0 0 0"),
         "grid 8 8 8, fov 80 60 40, points 0 0 0, columns 0 1, box 0 0 0 0 at 0 0 0"},
        {box, "grid 8 8 8, fov 80 60 40, points 256 255 128, columns 0 1, box 1 10 20 30 at -1 -2 3"},
        {WithLine(box, "##$CSISlab", "=slab"),
         "grid 8 8 8, fov 80 60 40, points 256 255 128, columns 0 1, box 0 0 0 0 at 0 0 0"},
    };
    for (const auto& c : cases) {
        auto p = ParseFid(JcampText(c.lines));
        ASSERT_TRUE(p->ok);
        EXPECT_EQ(Summary(p->probe.Set()), c.summary);
    }
    const auto parsed = ParseFid(JcampText(base));
    const TCSISet& set = parsed->probe.Set();
    EXPECT_EQ(set.m_nSpectralWidth, 4000);
    EXPECT_EQ(set.m_strNucleus, "1H");
    EXPECT_EQ(std::vector<float>({set.m_fTR, set.m_fTE, set.m_fAverages, set.m_fFrequency}),
              std::vector<float>({1500, 2.5f, 4, 300.3f}));
}

// Method files of other scans, or that cannot place the grid, are refused with a message
// that names the file ("$") and says why.
TEST(BrukerParameterFiles, RefusedMethodFiles)
{
    const TJcampLines base = CSIMethodLines({}, "##$CSITotalMatrix");
    const std::string text = JcampText(base);
    TBrukerCSIScan singular, sagittalLR;
    std::fill_n(singular.gradient, 9, 0.0f);
    sagittalLR.sliceOrient = "sagittal";
    TJcampLines flash = ImageMethodLines();
    flash.insert(flash.begin(), {"##$Method", "=FLASH"});
    const struct {
        std::string method;
        std::string message;
    } cases[] = {
        {text.substr(text.find('\n') + 1), "Parameter file $ has no ##TITLE in its first line."},
        {JcampText(ImageMethodLines()), "Method file $ is not of a CSI scan: it has none of ##$CSITotalMatrix, "
                                        "##$PVM_SpecMatrix and ##$PVM_SpecSWH."},
        {JcampText(flash), "Method file $ is of a FLASH scan, not of a CSI scan: it has none of ##$CSITotalMatrix, "
                           "##$PVM_SpecMatrix and ##$PVM_SpecSWH."},
        {JcampText(WithLine(base, "##$PVM_SPackArrSliceOrient", JcampArray("oblique"))),
         "Method file $ gives no slice orientation of axial, sagittal or coronal."},
        {JcampText(WithLine(base, "##$PVM_SPackArrReadOrient", JcampArray("R_L"))),
         "The read orientation \"R_L\" of method file $ does not fit its axial slices."},
        {FidMethod(sagittalLR), "The read orientation \"L_R\" of method file $ does not fit its sagittal slices."},
        {FidMethod({}, "\r\n"),
         "The read orientation of method file $ ends in a carriage return: the file must end its lines with line "
         "feeds only."},
        {JcampText(WithLine(base, "##$PVM_SpecSWH", "")) + "##$PVM_SpecSWH=( 1 )",
         "Parameter file $ ends before the values of ##$PVM_SpecSWH."},
        {JcampText(base) + "##$PVM_SPackArrSliceOffset=( 1 )",
         "Parameter file $ ends before the values of ##$PVM_SPackArrSliceOffset."},
        {FidMethod(singular), "The gradient orientation of method file $ cannot be inverted."},
    };
    for (const auto& c : cases) {
        auto p = ParseFid(c.method);
        EXPECT_FALSE(p->ok) << c.message;
        std::string message = c.message;
        message.replace(message.find('$'), 1, p->method);
        EXPECT_EQ(p->messages, std::vector<std::string>{message});
    }
}

// The acqp file beside the method file gives the frequency and the group delay, from
// "##$GRPDLY" or, when that is absent or not positive, from the decimation/version table.
TEST(BrukerParameterFiles, AcqpGivesFrequencyAndGroupDelay)
{
    const struct {
        double delay;
        int decimation, version;
        double expected;
    } cases[] = {{67.984, 32, 11, 67.984}, {0, 32, 11, 72.75}, {0, 128, 12, 72.524},
                 {0, 192, 12, 0},          {0, 2, 10, 44.75},  {0, 5, 10, 0}};
    for (const auto& c : cases) {
        auto p = ParseFid(FidMethod(), AcqpLines(123.25, c.delay, c.decimation, c.version));
        ASSERT_TRUE(p->ok);
        EXPECT_NEAR(p->probe.m_fGroupDelay, c.expected, 1e-4) << c.decimation << " " << c.version;
        EXPECT_FLOAT_EQ(p->probe.Set().m_fFrequency, 123.25f);
    }
    EXPECT_NEAR(ParseFid(FidMethod(), WithLine(AcqpLines(300, 0, 32, 11), "##$GRPDLY", "=-5"))->probe.m_fGroupDelay,
                72.75, 1e-4);
    for (const char* name : {"acqp.txt", "ACQP"})
        EXPECT_TRUE(ParseFid(FidMethod(), AcqpLines(300, 0, 32, 11), name)->ok) << name;
    auto missing = ParseFid(FidMethod(), AcqpLines(300, 0, 32, 11), "acqp.bak");
    EXPECT_FALSE(missing->ok);
    EXPECT_EQ(missing->messages, std::vector<std::string>{"Could not find parameter file acqp or acqp.txt."});
    auto filter = ParseFid(FidMethod(), WithLine(AcqpLines(300, 0, 32, 11), "##$ACQ_user_filter", "=Yes"));
    EXPECT_TRUE(filter->ok);
    EXPECT_EQ(filter->messages, std::vector<std::string>{
        "Warning: A pipeline filter (AU) is used, the registration of the CSI set could be wrong."});
}

// The reco file of a 2dseq folder: points, sizes along the read, phase and slice axes, the
// transforms already done and the image type.
TEST(BrukerParameterFiles, RecoGivesSizesTransformsAndImageType)
{
    const struct {
        int dims;
        const char *sizes, *ftMode, *type;
        int points, read, phase, slice, frequencyDomain, spaceDomain, imageType;
    } cases[] = {
        {3, "128 8 4 2", "COMPLEX_FT COMPLEX_FFT", "COMPLEX_IMAGE", 128, 8, 4, 2, 1, 1, 0},
        {3, "64 8 4 2", "NO_FT NO_FT", "IMAGINARY_IMAGE", 64, 8, 4, 2, 0, 0, 1},
        {2, "64 8 4", "COMPLEX_FT NO_FT", "MAGNITUDE_IMAGE", 64, 8, 4, 1, 1, 0, 2},
        {2, "64 8 4", "NO_FT", "REAL_IMAGE", 64, 8, 4, 1, 0, 1, 2},
        {3, "64 8", "NO_FT NO_FT", "COMPLEX_IMAGE", 64, 8, 0, 0, 0, 0, 0},
        {1, "64 8 4 2", "NO_FT NO_FT", "COMPLEX_IMAGE", 0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sizes) + " " + c.ftMode + " " + c.type);
        TScriptedReport report;
        TTempFolder folder;
        WriteBytes(folder.File("reco"), JcampText(RecoLines(c.sizes, c.ftMode, c.type)));
        TProbe<TBruker2dseqReader> probe;
        TCSISet& set = probe.Set();
        set.m_nSpatialDims = c.dims;
        set.m_nSliceAxis = 1;
        probe.m_nReadAxis = 2;
        probe.m_nPhaseAxis = 0;
        ASSERT_TRUE(probe.ReadRecoFile(folder.Path()));
        EXPECT_EQ((std::vector<int>{set.m_nPoints, set.m_nDim[2], set.m_nDim[0], set.m_nDim[1],
                                    probe.Params().m_bFrequencyDomain, probe.Params().m_bSpaceDomain,
                                    probe.m_nImageType}),
                  (std::vector<int>{c.points, c.read, c.phase, c.slice, c.frequencyDomain, c.spaceDomain,
                                    c.imageType}));
        EXPECT_EQ(report.Count(), 0u);
    }
}
