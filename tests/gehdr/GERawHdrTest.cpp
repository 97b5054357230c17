#include <gtest/gtest.h>

#include "gehdr/GERawHdr.h"
#include "gehdr/GEcleanstr.h"
#include "support/TestFiles.h"
#include "GESyntheticHeaders.h"

#include <filesystem>

using namespace getest;

namespace {

class GERawHdrTest : public ::testing::Test {
protected:
    std::string WriteFile(const std::string& bytes, const std::string& name = "P00001.7")
    {
        const std::string path = m_folder.File(name);
        vx::test::WriteBytes(path, bytes);
        return path;
    }
    vx::test::TTempFolder m_folder;
};

void ExpectBlank(const GERawHdr& h)
{
    EXPECT_EQ(h.raw_version_key, -1);
    EXPECT_EQ(h.img_version_key, -1);
    EXPECT_EQ(h.size(), 0);
    EXPECT_EQ(h.rdb_hdr.size(), 0u);
    EXPECT_EQ(h.exam_data.size(), 0u);
    EXPECT_TRUE(h.blk1a.empty());
}

void ExpectLoaded(const GERawHdr& h, int key, int order)
{
    const TRawLayout& l = RawLayouts().at(key);
    EXPECT_EQ((std::vector<int>{h.raw_version_key, h.img_version_key, h.byte_order, h.size(), h.rdb_hdr.point_count(),
                                h.rdb_hdr.echo_time(), h.exam_data.exam_number(), h.mr_img_data.image_dim_x(),
                                h.p_exam(), h.p_series(), h.p_image()}),
              (std::vector<int>{key, l.imageKey, order, l.size, kPointCount, l.echoTimeAt < 0 ? -1 : kEchoTime,
                                kExamNumber, kImageDimX, l.examOff, l.seriesOff, l.imageOff}));
    EXPECT_EQ(h.prescan_hdr.size(), key == 10 ? 1500u : 0u);
}

}  // namespace

TEST_F(GERawHdrTest, EveryLayoutInBothByteOrdersFromFileAndFromBytes)
{
    for (const auto& [key, layout] : RawLayouts()) {
        for (int order : {0, 1}) {
            SCOPED_TRACE("key " + std::to_string(key) + " order " + std::to_string(order));
            const std::string bytes = MakeRaw(key, order, 4096);  // samples follow the header
            TCapturedStderr err;
            GERawHdr fromFile(-1, -1);
            ASSERT_EQ(fromFile.assign(WriteFile(bytes)), 0) << err.Text();
            ExpectLoaded(fromFile, key, order);
            EXPECT_EQ(fromFile.hdr_bytes, bytes.substr(0, std::size_t(layout.size)));
            GERawHdr fromBytes(-1, -1);
            ASSERT_EQ(fromBytes.assign(bytes), 0) << err.Text();
            ExpectLoaded(fromBytes, key, order);
            EXPECT_EQ(err.Text(), "");
        }
    }
}

TEST_F(GERawHdrTest, OldestLayoutEndsTwoBytesBeforeItsHeader)
{
    GERawHdr h(-1, -1);
    ASSERT_EQ(h.assign(MakeRaw(0, 0)), 0);
    EXPECT_EQ(h.size(), 39940);
    EXPECT_EQ(h.p_image() + h.l_image(), 39938);
    EXPECT_EQ(h.mr_img_data.data(), h.hdr_bytes.substr(38916, 1022));
    EXPECT_EQ(h.rdb_hdr.echo_time(), -1);  // not in this layout
    EXPECT_EQ(h.rdb_hdr.patient_position(), -1);
}

TEST_F(GERawHdrTest, PrescanBlockOfKeyTenMovesTheExamBlock)
{
    GERawHdr h(-1, -1);
    ASSERT_EQ(h.assign(MakeRaw(10, 1)), 0);
    EXPECT_EQ(h.p_PrescanHdr(), 139272);
    EXPECT_EQ(h.l_PrescanHdr(), 1500);
    EXPECT_EQ(h.p_exam(), 140772);
    EXPECT_EQ(h.exam_data.data(), h.hdr_bytes.substr(140772, 1040));
    EXPECT_EQ(h.blk1a.size(), 16384u);
    EXPECT_EQ(h.blk3b.size(), 2052u);
    EXPECT_EQ(h.data_acq_tab.size(), 98304u);
}

TEST_F(GERawHdrTest, GenesisFilesAndShortBytesAreRefused)
{
    GERawHdr h(-1, -1);
    ASSERT_EQ(h.assign(MakeRaw(5, 1)), 0);
    const std::string path = WriteFile(MakeGenesis(3, 0), "I.001");
    TCapturedStderr err;
    EXPECT_EQ(h.assign(path), -1);
    EXPECT_EQ(err.Text(), "GERawHdr::assign: string " + path + " is not recognized as a raw file!\n");
    ExpectBlank(h);

    // Header bytes are never dumped into the message.
    TCapturedStderr err2;
    EXPECT_EQ(h.assign(MakeGenesis(3, 0)), -1);
    EXPECT_EQ(err2.Text(), "GERawHdr::assign: string <" + std::to_string(MakeGenesis(3, 0).size()) +
                               " header bytes> is not recognized as a raw file!\n");

    TCapturedStderr err3;
    EXPECT_EQ(h.assign(MakeRaw(2, 0).substr(0, 39000)), -1);
    EXPECT_EQ(err3.Text(), "GERawHdr::assign: Passed string has length 39000 expected 39984\n");
    ExpectBlank(h);
}

TEST_F(GERawHdrTest, SizeIsZeroUntilAHeaderIsRead)
{
    GERawHdr blank(-1, -1);
    ExpectBlank(blank);
    GERawHdr made(4, 1);
    EXPECT_EQ(made.size(), 0);
    EXPECT_EQ(made.raw_version_key, 4);
    EXPECT_EQ(made.img_version_key, 3);
    EXPECT_EQ((std::vector<std::uint32_t>{made.rdb_hdr.size(), made.data_acq_tab.size(), made.exam_data.size(),
                                          made.series_data.size(), made.mr_img_data.size()}),
              (std::vector<std::uint32_t>{2048, 40960, 1040, 1028, 1044}));
    EXPECT_EQ(made.rdb_hdr.point_count(), 0);
    EXPECT_EQ(made.init(3, 0), -1);  // an image key
    ExpectBlank(made);
    EXPECT_EQ(made.init(-1, 0), -1);
}

TEST_F(GERawHdrTest, TruncatedAtEveryOffsetIsRefused)
{
    for (int key : {0, 10}) {
        std::string bytes = MakeRaw(key, key == 0 ? 0 : 1);
        GERawHdr h(-1, -1);
        TCapturedStderr err;
        while (!bytes.empty()) {
            bytes.pop_back();
            ASSERT_EQ(h.assign(bytes), -1) << "key " << key << " length " << bytes.size();
        }
        ExpectBlank(h);
    }
    const std::string path = WriteFile(MakeRaw(0, 1));
    GERawHdr h(-1, -1);
    TCapturedStderr err;
    for (std::size_t n = 39940; n-- > 0;) {
        std::filesystem::resize_file(path, n);
        ASSERT_EQ(h.assign(path), -1) << n;
    }
    ExpectBlank(h);
}

TEST(GERawHdr, RevisionOffsetAgreesWithTheFirstBlocksLayout)
{
    for (int key = -1; key < 12; ++key) {
        const bool raw = key >= 0 && VerFile.at(key) == 0;
        EXPECT_EQ(GERawHdr::rev_offset(key), raw ? VerOff.at(key) : -1) << key;
    }
}

TEST(GERawHdrSample, RealPFileMatchesItsSageDescription)
{
    // The SAGE header written beside the P-file by the scanner's own tool
    // states: rdb header revision 9.0, 2048 points over 2500 Hz, 24 frames of
    // complex 32-bit samples, centre frequency 63.872622 MHz, study 4488,
    // psd "probe-p", TR 2000 ms, TE 30 ms, software "LX 11.0".
    const char* name = "ge_pfile/tarquin/P1751_1.5T_030_2000.7";
    VX_REQUIRE_SAMPLE(name);
    GERawHdr h(-1, -1);
    TCapturedStderr err;
    ASSERT_EQ(h.assign(vx::test::SampleDataPath(name)), 0) << err.Text();
    // Frequency in 0.1 Hz, times in microseconds.
    EXPECT_EQ((std::vector<int>{h.raw_version_key, h.img_version_key, h.byte_order, h.size(), h.rdb_hdr.point_count(),
                                h.rdb_hdr.frame_count(), h.rdb_hdr.point_size(), h.rdb_hdr.center_freq(),
                                h.rdb_hdr.echo_time(), h.exam_data.exam_number(), h.mr_img_data.repetition_time(),
                                h.mr_img_data.echo_time()}),
              (std::vector<int>{5, 6, 1, 61464, 2048, 24, 4, 638726220, 30000, 4488, 2000000, 30000}));
    EXPECT_EQ(h.rdb_hdr.spectral_width(), 2500.0f);
    EXPECT_EQ(h.exam_data.sw_version(), "11");
    EXPECT_EQ(GEcleanstr(h.mr_img_data.sequence_name()), "probe-p");
    EXPECT_EQ(err.Text(), "");
}
