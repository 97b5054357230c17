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

// A blank block of the class, then blocks of the hand-written sizes of its versions:
// each is taken and installs the class's field list (`fields` entries).
template <class Block>
void ExpectClass(const char* name, std::initializer_list<std::pair<int, int>> sizes, std::size_t fields)
{
    SCOPED_TRACE(name);
    TCapturedStderr err;
    Block block(-1, -1);
    EXPECT_EQ(block.class_name(), name);
    EXPECT_EQ(block.version_key(), -1);
    EXPECT_EQ(block.size(), 0u);
    EXPECT_TRUE(block.field_table().empty());
    for (auto [key, size] : sizes) {
        EXPECT_EQ(block.assign(std::string(std::size_t(size), '\0'), key, 1), 0) << key;
        EXPECT_EQ(block.size(), std::uint32_t(size)) << key;
        EXPECT_EQ(block.field_table().size(), fields) << key;
        if constexpr (requires { Block::fields; }) {
            EXPECT_EQ(block.field_table().data(), Block::fields.data()) << key;
        }
    }
    EXPECT_EQ(err.Text(), "");
}

}  // namespace

TEST(GESubSecClasses, BlankConstructionBlockSizesAndFieldLists)
{
    ExpectClass<GERdbHdr>("GERdbHdr", {{0, 2048}, {10, 2048}}, 0);
    ExpectClass<GEDataAcqTab>("GEDataAcqTab",
                              {{0, 20480}, {2, 20480}, {4, 40960}, {5, 40960}, {8, 45056}, {10, 98304}}, 0);
    ExpectClass<GEImgCtrl>("GEImgCtrl", {{1, 156}, {11, 124}}, 40);
    ExpectClass<GEHistData>("GEHistData", {{9, 2068}}, 0);
    ExpectClass<GESuiteData>("GESuiteData", {{1, 114}}, 8);
    ExpectClass<GEPrescanHdr>("GEPrescanHdr", {{10, 1500}}, 0);
    ExpectClass<GEExamData>("GEExamData", {{3, 1040}}, 73);
    ExpectClass<GESeriesData>("GESeriesData", {{1, 1020}, {3, 1028}, {6, 1536}, {7, 1536}, {9, 2048}, {11, 2048}},
                              127);
    ExpectClass<GEMRImgData>("GEMRImgData", {{1, 1022}, {3, 1044}, {6, 1536}, {7, 1536}, {9, 1536}, {11, 2048}},
                             282);
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
        EXPECT_EQ(rdb.assign(std::string(2048, '\0'), 1, 1), -1);
        EXPECT_EQ(err.Lines(), (std::vector<std::string>{
                                   "GERdbHdr::GERdbHdr: Can't init, leaving...",
                                   "GERdbHdr(GESubSec)::assign: version key: 1 is not valid for subsection key: 0",
                                   "GERdbHdr::assign: Can't init, leaving..."}));
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

TEST(GESubSecClasses, FailedAssignReportsTwoLinesAndReturnsMinusOne)
{
    GEExamData exam(-1, -1);
    ASSERT_EQ(exam.assign(std::string(1040, '\0'), 3, 0), 0);
    TCapturedStderr err;
    EXPECT_EQ(exam.assign(std::string(1024, '\0'), 3, 0), -1);
    EXPECT_EQ(err.Lines(), (std::vector<std::string>{
                               "GEExamData(GESubSec)::assign: Passed string has length 1024 expected 1040",
                               "GEExamData::assign: Can't init, leaving..."}));
    EXPECT_EQ(exam.size(), 0u);  // the earlier bytes are gone too
    EXPECT_EQ(exam.version_key(), 3);  // the version stays
    EXPECT_TRUE(exam.field_table().empty());
    EXPECT_EQ(exam.exam_number(), 65535);
}
