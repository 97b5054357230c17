#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "model/TCSISet.h"
#include "readers/TPhilipsReader.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using vx::test::TTempFolder;
using vx::test::WriteBytes;

class TProbePhilips : public TPhilipsReader {
public:
    TProbePhilips() : TPhilipsReader(&m_block) {}
    TCSISet& NewSet()
    {
        m_pCSISet = std::make_unique<TCSISet>();
        return *m_pCSISet;
    }
    TCSISet* Set() { return m_pCSISet.get(); }

private:
    TCSIReadParams m_block;
};

// Parses `text` as a SPAR file into a fresh set.
TCSISet& Parse(TProbePhilips& reader, const std::string& text, const TTempFolder& folder)
{
    TCSISet& set = reader.NewSet();
    WriteBytes(folder.File("p.SPAR"), text);
    EXPECT_TRUE(reader.ParseSPAR(folder.File("p.SPAR")));
    return set;
}

}  // namespace

TEST(PhilipsReader, ReaderWithoutASetReadsNothing)
{
    vx::test::TScriptedReport report;
    TProbePhilips reader;
    EXPECT_EQ(reader.Read("/any/file.SPAR"), nullptr);
    EXPECT_FALSE(reader.ParseSPAR("/any/file.SPAR")) << "no set";
    reader.NewSet();
    EXPECT_FALSE(reader.ParseSPAR("/no/such/file.SPAR"));
    EXPECT_EQ(report.Count(), 0u);
}

TEST(PhilipsReader, SparLineRules)
{
    TTempFolder folder;
    TProbePhilips reader;
    TCSISet& set = Parse(reader,
                         "examination_name :   my   exam  \r\n"
                         " samples : 64\n"
                         "!samples : 32\n"
                         "samples : 1025\r\n"
                         "synthesizer_frequency : 127786142\n"
                         "sample_frequency : 2000.9\n"
                         "si_lr_off_center : 12.5\n"
                         "si_ap_off_center : 12.5\n"
                         "si_cc_off_center : 12.5\n"
                         "si_lr_off_angulation : 3\n"
                         "si_cc_off_angulation : 4\n"
                         "spec_num_dimensions : 3\n"
                         "nucleus\n"
                         "patient_birth_date : 1980.12.21\n"
                         "unknown_key : 7\n"
                         "averages : notanumber\n",
                         folder);
    // The last "samples" line counts; the width is truncated toward zero; a key containing
    // num_dimensions counts the spatial axes only; a line of fewer than 3 tokens is skipped.
    EXPECT_EQ(std::tie(set.m_strExamName, set.m_strNucleus, set.m_strPatientBirthDate),
              std::tuple("my   exam", "n/a", "1980.12.21"));
    EXPECT_EQ((std::vector<int>{set.m_nPoints, set.m_nLastPoint, set.m_nSpectralWidth, set.m_nSpatialDims}),
              (std::vector<int>{1025, 1024, 2000, 2}));
    EXPECT_EQ((std::vector<float>{set.m_fPPMCentrePoint, set.m_fFrequency, set.m_fOffCentre[0], set.m_fOffCentre[1],
                                  set.m_fOffCentre[2], set.m_fAngulation[0], set.m_fAngulation[2], set.m_fAverages}),
              (std::vector<float>{512, static_cast<float>(127786142 * 1e-6), -12.5f, -12.5f, 12.5f, -3, 4, 0}));
}

TEST(PhilipsReader, SliceAxisPlacesMatrixAndFieldOfView)
{
    // Without a direction line the slice keys act on the transverse axis the set reports;
    // axes no key names keep 1 voxel and 240 mm.
    const struct {
        const char* text;
        int sliceAxis;
        std::vector<int> dims;
        std::vector<float> fov;
    } cases[] = {
        {"phase_encoding_direction : \"cor\"\ndim2_pnts : 16\ndim3_pnts : 12\ndim4_pnts : 1\n"
         "phase_encoding_fov : 200\nslice_thickness : 15\n",
         1, {16, 1, 12}, {200, 15, 200}},
        {"phase_encoding_enable : \"no\"\ndim2_pnts : 8\n", 0, {1, 8, 1}, {240, 240, 240}},
        {"slice_thickness : 12\ndim4_pnts : 3\n", 2, {1, 1, 3}, {240, 240, 12}},
    };
    TTempFolder folder;
    for (const auto& c : cases) {
        TProbePhilips reader;
        TCSISet& set = Parse(reader, c.text, folder);
        EXPECT_EQ(set.m_nSliceAxis, c.sliceAxis) << c.text;
        EXPECT_EQ(std::vector<int>(set.m_nDim, set.m_nDim + 3), c.dims) << c.text;
        EXPECT_EQ(std::vector<float>(set.m_fFOV, set.m_fFOV + 3), c.fov) << c.text;
    }
}

TEST(PhilipsReader, SliceThicknessAndGap)
{
    TTempFolder folder;
    {
        TProbePhilips reader;
        TCSISet& set = Parse(reader,
                             "phase_encoding_direction : trans\nslice_thickness : 20\n"
                             "slice_distance : 10\nnr_of_slices_for_multislice : 1\n",
                             folder);
        EXPECT_EQ(set.m_fSliceThickness, 20.0f);
        EXPECT_EQ(set.m_fSliceGap, -10.0f);
        EXPECT_EQ(reader.m_nSlices, 1);
    }
    {
        TProbePhilips reader;
        TCSISet& set = Parse(reader,
                             "phase_encoding_direction : trans\nslice_thickness : 40\n"
                             "slice_distance : 12\nnr_of_slices_for_multislice : 3\n",
                             folder);
        EXPECT_EQ(set.m_nDim[2], 3);
        EXPECT_EQ(reader.m_nSlices, 3);
        EXPECT_EQ(set.m_fSliceThickness, 16.0f);  // 40 - 2 * 12
        EXPECT_EQ(set.m_fSliceGap, -4.0f);        // 12 - 16
    }
}

TEST(PhilipsReader, VolumesAndEchoPosition)
{
    TTempFolder folder;
    TProbePhilips reader;
    TCSISet& set = Parse(reader,
                         "samples : 512\necho_time : 144\nsample_frequency : 1000\n"
                         "spec_col_lower_val : 0.1\n"
                         "volumes : 2\n"
                         "lr_size : 10\nap_off_center : 3\nlr_angulation : 5\ncc_angulation : 6\n"
                         "lr_size : 11\nap_off_center : 4\ncc_angulation : 7\n"
                         "lr_size : 12\ncc_angulation : 8\n",
                         folder);
    EXPECT_EQ((std::vector<int>{set.m_nEchoPosition, set.m_bEchoShifted, set.m_nVolumes}), (std::vector<int>{44, 1, 2}));
    EXPECT_EQ((std::vector<float>{set.m_fVolSize[0][0], set.m_fVolSize[0][1], set.m_fVolOffCentre[1][0],
                                  set.m_fVolOffCentre[1][1], set.m_fVolAngulation[0][0], set.m_fVolAngulation[2][1]}),
              (std::vector<float>{10, 11, -3, -4, -5, 7}));
    // The grid fields are not touched by the boxes in this parser.
    EXPECT_EQ(set.m_fFOV[0], 240.0f);
    EXPECT_EQ(set.m_fOffCentre[1], 0.0f);
}
