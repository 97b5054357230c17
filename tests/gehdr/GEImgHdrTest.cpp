#include <gtest/gtest.h>

#include "gehdr/GEImgHdr.h"
#include "gehdr/GEcleanstr.h"
#include "support/TestFiles.h"
#include "GESyntheticHeaders.h"

#include <climits>

using namespace getest;

namespace {

class GEImgHdrTest : public ::testing::Test {
protected:
    std::string WriteFile(const std::string& bytes, const std::string& name = "image.MR")
    {
        const std::string path = m_folder.File(name);
        vx::test::WriteBytes(path, bytes);
        return path;
    }
    vx::test::TTempFolder m_folder;
};

void ExpectBlank(const GEImgHdr& h)
{
    EXPECT_EQ(h.version_key, -1);
    EXPECT_EQ(h.header_size(), -1);
    EXPECT_EQ(h.img_ctrl.size(), 0u);
    EXPECT_EQ(h.exam_data.size(), 0u);
    EXPECT_EQ(h.mr_img_data.size(), 0u);
    EXPECT_TRUE(h.hdr_bytes.empty());
    EXPECT_TRUE(h.blk1.empty());
}

void ExpectLoaded(const GEImgHdr& h, int key, int order)
{
    const TGenesisLayout& l = GenesisLayouts().at(key);
    const TGenesisTail t = GenesisTail(l);
    EXPECT_EQ((std::vector<int>{h.version_key, h.byte_order, h.header_size(), int(h.hdr_bytes.size()),
                                h.img_ctrl.width(), h.img_ctrl.height(), int(h.suite_data.size()),
                                int(h.exam_data.size()), int(h.series_data.size()), int(h.mr_img_data.size()),
                                h.exam_data.exam_number(), h.mr_img_data.image_dim_x()}),
              (std::vector<int>{key, order, t.end, t.end, kWidth, kHeight, l.suiteLen, l.examLen, l.seriesLen,
                                l.imageLen, kExamNumber, kImageDimX}));
    EXPECT_EQ(GEcleanstr(h.series_data.series_description()), kSeriesDescription);
    EXPECT_EQ(h.hist_data.size(), 2068u);
    EXPECT_EQ(h.hist_data.data().substr(0, 4), h.hdr_bytes.substr(std::size_t(t.hist), 4));
    EXPECT_EQ(h.blk6.size(), 16u);
}

}  // namespace

TEST_F(GEImgHdrTest, EveryLayoutInBothByteOrdersFromFileAndFromBytes)
{
    for (const auto& [key, layout] : GenesisLayouts()) {
        for (int order : {0, 1}) {
            SCOPED_TRACE("key " + std::to_string(key) + " order " + std::to_string(order));
            const std::string bytes = MakeGenesis(key, order, 300);
            GEImgHdr fromFile(-1, -1);
            TCapturedStderr err;
            ASSERT_EQ(fromFile.assign(WriteFile(bytes)), 0) << err.Text();
            ExpectLoaded(fromFile, key, order);
            EXPECT_EQ(fromFile.hdr_bytes, bytes.substr(0, fromFile.hdr_bytes.size()));

            GEImgHdr fromBytes(-1, -1);
            ASSERT_EQ(fromBytes.assign(bytes.substr(0, std::size_t(GenesisTail(layout).end))), 0) << err.Text();
            ExpectLoaded(fromBytes, key, order);
            EXPECT_EQ(err.Text(), "");
        }
    }
}

TEST_F(GEImgHdrTest, RawBlocksComeFromTheControlBlocksPlaces)
{
    const std::string bytes = MakeGenesis(9, 1);
    GEImgHdr h(-1, -1);
    ASSERT_EQ(h.assign(bytes), 0);
    const TGenesisTail t = GenesisTail(GenesisLayouts().at(9));
    EXPECT_EQ(h.p_blk1(), t.blk1);
    EXPECT_EQ(h.l_blk1(), 80);
    EXPECT_EQ(h.blk1, bytes.substr(std::size_t(t.blk1), 80));
    EXPECT_EQ(h.blk1.substr(0, kBlock1Text.size()), kBlock1Text);
    EXPECT_EQ((std::vector<std::size_t>{h.blk2.size(), h.blk3.size(), h.blk4.size(), h.blk5.size()}),
              (std::vector<std::size_t>{12, 0, 8, 4}));
    EXPECT_EQ((std::vector<int>{h.p_hist(), h.p_ImgCtrl(), h.l_ImgCtrl(), h.p_exam(), h.l_series()}),
              (std::vector<int>{t.hist, 4740, 124, 116, 2048}));
}

TEST_F(GEImgHdrTest, OldestLayoutIsReshapedLikeKeySix)
{
    for (int order : {0, 1}) {
        GEImgHdr h(-1, -1);
        ASSERT_EQ(h.assign(MakeGenesis(7, order)), 0);
        std::string expected = "MR Recon <LX 11 ximg>";
        expected.resize(80, '\0');
        EXPECT_EQ(h.blk1, expected);
        EXPECT_TRUE(h.blk2.empty() && h.blk3.empty() && h.blk4.empty() && h.blk5.empty());
        std::string ctrl = h.img_ctrl.data();
        EXPECT_EQ(order == 0 ? ctrl.substr(0, 4) : std::string(ctrl.rbegin() + 120, ctrl.rend()), "IMGF");
        const TGenesisTail t = GenesisTail(GenesisLayouts().at(7));
        // Blocks 1 to 5 cleared; the histogram, block 6 and the sizes kept.
        const GEImgCtrl& c = h.img_ctrl;
        EXPECT_EQ((std::vector<int>{c.p_blk1(), c.l_blk1(), c.l_blk3(), c.p_blk4(), c.l_blk5(), c.p_hist(), c.l_hist(),
                                    c.p_blk6(), c.l_blk6(), c.width()}),
                  (std::vector<int>{0, 0, 0, 0, 0, t.hist, 2068, t.blk6, 16, kWidth}));
        for (int field : {5, 8, 11, 12, 27, 28, 29}) {
            GELayout l = GEImgCtrl::fields[std::size_t(field)](7);
            std::string word = ctrl.substr(std::size_t(l[0]), 4);
            EXPECT_EQ(word, field == 5 ? (order == 0 ? std::string("\0\0\0\1", 4) : std::string("\1\0\0\0", 4))
                                       : std::string(4, '\0'))
                << field;
        }
    }
}

TEST_F(GEImgHdrTest, OtherFilesAreRefusedAndLeaveTheHeaderBlank)
{
    GEImgHdr h(-1, -1);
    ASSERT_EQ(h.assign(MakeGenesis(3, 0)), 0);
    TCapturedStderr err;
    EXPECT_EQ(h.assign(WriteFile(MakeRaw(4, 1), "P12345.7")), -1);
    EXPECT_EQ(err.Text(), "GEImgHdr::assign: string initializer is not recognized as an image file!\n");
    ExpectBlank(h);
    EXPECT_EQ(h.assign(m_folder.File("missing.MR")), -1);
    EXPECT_EQ(h.assign(""), -1);
    ExpectBlank(h);
}

TEST_F(GEImgHdrTest, HostileControlFieldsAreRefused)
{
    struct Case {
        int key;
        std::size_t at;  // byte place within the control block
        std::int64_t value;
    };
    std::vector<Case> cases;
    for (int key : {1, 3, 11}) {
        for (std::size_t at = 56; at <= 120; at += 4) {
            if (at == 104 || at == 108 || at == 112)
                continue;  // fields 27 to 29 place nothing
            // Offsets count from the control block: one before the file's start.
            const std::int64_t beforeStart = -1 - GenesisLayouts().at(key).ctrlOff;
            for (std::int64_t v : {beforeStart, std::int64_t(INT_MAX), std::int64_t(INT_MIN), std::int64_t(1) << 20})
                cases.push_back({key, at, v});
        }
    }
    for (std::size_t at = 124; at < 156; at += 4)
        for (std::int64_t v : {std::int64_t(-1), std::int64_t(INT_MAX), std::int64_t(6000)})
            cases.push_back({1, at, v});
    for (const Case& c : cases) {
        std::string bytes = MakeGenesis(c.key, 1);
        Put32(bytes, std::size_t(GenesisLayouts().at(c.key).ctrlOff) + c.at, c.value, 1);
        GEImgHdr h(-1, -1);
        TCapturedStderr err;
        EXPECT_EQ(h.assign(bytes), -1) << "key " << c.key << " at " << c.at << " value " << c.value;
        EXPECT_EQ(h.header_size(), -1);
        EXPECT_FALSE(err.Text().empty());
    }
}

TEST_F(GEImgHdrTest, HeaderLengthMustFitTheFile)
{
    for (std::int64_t length : {std::int64_t(-5000), std::int64_t(0), std::int64_t(2) << 20,
                                std::int64_t(INT_MAX) - 10, std::int64_t(100000)}) {
        std::string bytes = MakeGenesis(9, 0, 64);
        Put32(bytes, 4744, length, 0);
        GEImgHdr h(-1, -1);
        TCapturedStderr err;
        EXPECT_EQ(h.assign(WriteFile(bytes)), -1) << length;
        EXPECT_EQ(h.assign(bytes), -1) << length;
        ExpectBlank(h);
    }
}

TEST_F(GEImgHdrTest, TruncatedAtEveryOffsetIsRefused)
{
    for (int key : {1, 7, 11}) {
        std::string bytes = MakeGenesis(key, key == 7 ? 0 : 1);
        GEImgHdr h(-1, -1);
        TCapturedStderr err;
        while (!bytes.empty()) {
            bytes.pop_back();
            ASSERT_EQ(h.assign(bytes), -1) << "key " << key << " length " << bytes.size();
            ASSERT_EQ(h.version_key, -1);
        }
    }
    // From a file, the header length points past the end of every cut.
    const std::string whole = MakeGenesis(1, 0);
    const std::string path = WriteFile(whole);
    GEImgHdr h(-1, -1);
    TCapturedStderr err;
    for (std::size_t n = whole.size(); n-- > 0;) {
        std::filesystem::resize_file(path, n);
        ASSERT_EQ(h.assign(path), -1) << n;
    }
}

TEST_F(GEImgHdrTest, DefaultHeaderOfAVersion)
{
    for (int order : {0, 1}) {
        GEImgHdr h(11, order);
        EXPECT_EQ(h.version_key, 11);
        EXPECT_EQ(h.header_size(), -1);
        EXPECT_EQ(h.blk1, std::string(80, '\0'));
        EXPECT_EQ((std::vector<std::uint32_t>{h.img_ctrl.size(), h.hist_data.size(), h.suite_data.size(),
                                              h.series_data.size(), h.mr_img_data.size()}),
                  (std::vector<std::uint32_t>{124, 2068, 116, 2048, 2048}));
        std::string ctrl(124, '\0');
        Put32(ctrl, 0, 0x494D4746, order);
        Put32(ctrl, 20, 1, order);
        Put32(ctrl, 24, 100, order);
        Put32(ctrl, 28, 50, order);
        Put32(ctrl, 36, 16384, order);
        EXPECT_EQ(h.img_ctrl.data(), ctrl);
        std::string hist(2068, '\0');
        Put32(hist, 0, 1, order);
        EXPECT_EQ(h.hist_data.data(), hist);
    }
    GEImgHdr fromRawKey(4, 1);
    ExpectBlank(fromRawKey);
    EXPECT_EQ(fromRawKey.init(12, 0), -1);
    EXPECT_EQ(fromRawKey.init(4, 0), 0);
    EXPECT_EQ(fromRawKey.init(1, 0), 0);
    EXPECT_EQ(fromRawKey.img_ctrl.size(), 156u);
}

TEST(GEImgHdr, IdentificationOffsetsAgreeWithTheControlBlockLayout)
{
    for (int key = -1; key < 12; ++key) {
        const bool image = key >= 0 && VerFile.at(key) == 1;
        EXPECT_EQ(GEImgHdr::magic_offset(key), image ? VerOff.at(key) : -1) << key;
        EXPECT_EQ(GEImgHdr::hdr_length_offset(key), image ? ImgHdrOff.at(key) : -1) << key;
    }
}

TEST(GEImgHdrSample, GeDicomFilesAreNotGenesisImages)
{
    const char* name = "dicom_ge/dcm_qa_ge/i163.MRDC.3";
    VX_REQUIRE_SAMPLE(name);
    GEImgHdr h(-1, -1);
    TCapturedStderr err;
    EXPECT_EQ(h.assign(vx::test::SampleDataPath(name)), -1);
    EXPECT_EQ(err.Text(), "GEImgHdr::assign: string initializer is not recognized as an image file!\n");
}
