#include <gtest/gtest.h>

#include "gehdr/GEDataAcqTab.h"
#include "gehdr/GEExamData.h"
#include "gehdr/GEHistData.h"
#include "gehdr/GEImgCtrl.h"
#include "gehdr/GEMRImgData.h"
#include "gehdr/GEPrescanHdr.h"
#include "gehdr/GERdbHdr.h"
#include "gehdr/GESeriesData.h"
#include "gehdr/GESuiteData.h"
#include "GETestSupport.h"

using getest::TCapturedStderr;

namespace {

template <class Block>
void ExpectBlankConstruction(const char* name)
{
    TCapturedStderr err;
    Block block(-1, -1);
    EXPECT_EQ(block.class_name(), name);
    EXPECT_EQ(block.version_key(), -1);
    EXPECT_EQ(block.size(), 0u);
    EXPECT_TRUE(block.field_table().empty());
    EXPECT_EQ(err.Text(), "");
}

}  // namespace

TEST(GESubSecClasses, BlankConstructionNeedsNoVersion)
{
    ExpectBlankConstruction<GERdbHdr>("GERdbHdr");
    ExpectBlankConstruction<GEDataAcqTab>("GEDataAcqTab");
    ExpectBlankConstruction<GEImgCtrl>("GEImgCtrl");
    ExpectBlankConstruction<GEHistData>("GEHistData");
    ExpectBlankConstruction<GESuiteData>("GESuiteData");
    ExpectBlankConstruction<GEPrescanHdr>("GEPrescanHdr");
    ExpectBlankConstruction<GEExamData>("GEExamData");
    ExpectBlankConstruction<GESeriesData>("GESeriesData");
    ExpectBlankConstruction<GEMRImgData>("GEMRImgData");
}

TEST(GESubSecClasses, ConstructionForTheWrongKindOfKeyIsReportedAndSurvived)
{
    {
        TCapturedStderr err;
        GEImgCtrl ctrl(0, 0);  // a raw key for an image block
        EXPECT_EQ(err.Text(), "GEImgCtrl::GEImgCtrl: Can't init, leaving...\n");
        EXPECT_EQ(ctrl.version_key(), -1);
    }
    {
        TCapturedStderr err;
        GERdbHdr rdb(3, 1);  // an image key for a raw block
        EXPECT_EQ(err.Text(), "GERdbHdr::GERdbHdr: Can't init, leaving...\n");
    }
    TCapturedStderr err;
    GEMRImgData image(11, 1);
    EXPECT_EQ(image.version_key(), 11);
    EXPECT_EQ(image.size(), 0u);
    EXPECT_EQ(err.Text(), "");
}

TEST(GESubSecClasses, PrescanBlockIsEmptyBeforeRawKeyTen)
{
    GEPrescanHdr prescan(-1, -1);
    TCapturedStderr err;
    EXPECT_EQ(prescan.assign("", 4, 1), 0);
    EXPECT_EQ(prescan.version_key(), 4);
    EXPECT_EQ(prescan.assign(std::string(1500, 'x'), 4, 1), -1);
    EXPECT_EQ(err.Lines(), (std::vector<std::string>{
                               "GEPrescanHdr(GESubSec)::assign: Passed string has length 1500 expected 0",
                               "GEPrescanHdr::assign: Can't init, leaving..."}));
    EXPECT_EQ(prescan.assign(std::string(1500, 'x'), 10, 1), 0);
    EXPECT_EQ(prescan.size(), 1500u);
}

TEST(GESubSecClasses, AssignInstallsTheClassesFieldList)
{
    GESuiteData suite(-1, -1);
    ASSERT_EQ(suite.assign(std::string(114, '\0'), 1, 0), 0);
    EXPECT_EQ(suite.field_table().size(), 8u);
    EXPECT_EQ(suite.field_table().data(), GESuiteData::fields.data());

    GEHistData hist(-1, -1);
    ASSERT_EQ(hist.assign(std::string(2068, '\0'), 9, 0), 0);
    EXPECT_TRUE(hist.field_table().empty());

    GEExamData exam(-1, -1);
    ASSERT_EQ(exam.assign(std::string(1040, '\0'), 3, 0), 0);
    EXPECT_EQ(exam.field_table().size(), 73u);
    GESeriesData series(-1, -1);
    ASSERT_EQ(series.assign(std::string(2048, '\0'), 9, 0), 0);
    EXPECT_EQ(series.field_table().size(), 127u);
    GEMRImgData image(-1, -1);
    ASSERT_EQ(image.assign(std::string(1022, '\0'), 1, 0), 0);
    EXPECT_EQ(image.field_table().size(), 282u);
    GEImgCtrl ctrl(-1, -1);
    ASSERT_EQ(ctrl.assign(std::string(156, '\0'), 1, 0), 0);
    EXPECT_EQ(ctrl.field_table().size(), 40u);
}

TEST(GESubSecClasses, FailedAssignReportsTwoLinesAndReturnsMinusOne)
{
    GEExamData exam(-1, -1);
    ASSERT_EQ(exam.assign(std::string(1040, '\0'), 3, 0), 0);
    TCapturedStderr err;
    EXPECT_EQ(exam.assign(std::string(1024, '\0'), 3, 0), -1);
    EXPECT_EQ(err.Lines(), (std::vector<std::string>{
                               "GEExamData(GESubSec)::assign: Passed string has length 1024 expected 1040",
                               "GEExamData::assign: Can't init, leaving..."}));
    EXPECT_EQ(exam.size(), 0u);
    EXPECT_TRUE(exam.field_table().empty());
    EXPECT_EQ(exam.exam_number(), 65535);
}

TEST(GESubSecClasses, BlockSizesFollowTheVersion)
{
    struct Case {
        int key, size;
    };
    for (auto [key, size] : {Case{0, 20480}, {2, 20480}, {4, 40960}, {5, 40960}, {8, 45056}, {10, 98304}}) {
        GEDataAcqTab table(-1, -1);
        EXPECT_EQ(table.assign(std::string(std::size_t(size), '\0'), key, 1), 0) << key;
        EXPECT_EQ(table.size(), std::uint32_t(size));
    }
    for (auto [key, size] : {Case{1, 1020}, {3, 1028}, {6, 1536}, {7, 1536}, {9, 2048}, {11, 2048}}) {
        GESeriesData series(-1, -1);
        EXPECT_EQ(series.assign(std::string(std::size_t(size), '\0'), key, 1), 0) << key;
    }
    for (auto [key, size] : {Case{1, 1022}, {3, 1044}, {6, 1536}, {7, 1536}, {9, 1536}, {11, 2048}}) {
        GEMRImgData image(-1, -1);
        EXPECT_EQ(image.assign(std::string(std::size_t(size), '\0'), key, 1), 0) << key;
    }
    TCapturedStderr err;
    GERdbHdr rdb(-1, -1);
    EXPECT_EQ(rdb.assign(std::string(2048, '\0'), 1, 1), -1);  // image key
    EXPECT_EQ(err.Lines().front(), "GERdbHdr(GESubSec)::assign: version key: 1 is not valid for subsection key: 0");
}
