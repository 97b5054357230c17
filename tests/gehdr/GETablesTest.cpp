#include <gtest/gtest.h>

#include "gehdr/GETables.h"

#include <bit>
#include <map>

namespace {

void ExpectTable(const GEKeyTable& table, const std::map<int, int>& expected, const char* name)
{
    for (int key = -2; key <= 13; ++key) {
        const auto it = expected.find(key);
        if (it == expected.end()) {
            EXPECT_FALSE(table.has(key)) << name << " key " << key;
            EXPECT_EQ(table.at(key), -1) << name << " key " << key;
        } else {
            EXPECT_TRUE(table.has(key)) << name << " key " << key;
            EXPECT_EQ(table.at(key), it->second) << name << " key " << key;
        }
    }
}

}  // namespace

TEST(GETables, RawHeaderSizesAreTheBlockSumsPlusTwoForTheOldestLayout)
{
    ExpectTable(RawHdrSz, {{0, 39940}, {2, 39984}, {4, 60464}, {5, 61464}, {8, 66072}, {10, 145908}},
                "RawHdrSz");
    // The blocks of raw key 0 end 2 bytes before its header does.
    EXPECT_EQ(RawImageOff.at(0) + SubSecSize[12].at(1), 39938);
    for (int key : {2, 4, 5, 8, 10})
        EXPECT_EQ(RawImageOff.at(key) + SubSecSize[12].at(RawImgVer.at(key)), RawHdrSz.at(key)) << key;
}

TEST(GETables, RawBlockOffsetsFollowTheBlockOrder)
{
    // Columns: Rdb, 1a, 1b, AcqTab, 3a, 3b, 4, Prescan, Exam, Series, Image.
    const std::map<int, std::array<int, 11>> expected{
        {0, {0, 2048, 6144, 10240, 30720, 32772, 34824, 36872, 36872, 37896, 38916}},
        {2, {0, 2048, 6144, 10240, 30720, 32772, 34824, 36872, 36872, 37912, 38940}},
        {4, {0, 2048, 6144, 10240, 51200, 53252, 55304, 57352, 57352, 58392, 59420}},
        {5, {0, 2048, 6144, 10240, 51200, 53252, 55304, 57352, 57352, 58392, 59928}},
        {8, {0, 2048, 6144, 10240, 55296, 57348, 59400, 61448, 61448, 62488, 64536}},
        {10, {0, 2048, 18432, 34816, 133120, 135172, 137224, 139272, 140772, 141812, 143860}},
    };
    const std::array<const GEKeyTable*, 11> tables{
        &RawRdbOff,   &RawBlk1aOff, &RawBlk1bOff,   &RawAcqTabOff, &RawBlk3aOff, &RawBlk3bOff,
        &RawBlk4Off, &RawPrescanOff, &RawExamOff, &RawSeriesOff, &RawImageOff};
    for (std::size_t column = 0; column < tables.size(); ++column) {
        std::map<int, int> col;
        for (const auto& [key, row] : expected)
            col[key] = row[column];
        ExpectTable(*tables[column], col, "raw offset table");
    }
}

TEST(GETables, ImageBlockOffsets)
{
    ExpectTable(ImgCtrlOff, {{1, 0}, {3, 3228}, {6, 4228}, {7, 0}, {9, 4740}, {11, 5252}}, "ImgCtrlOff");
    ExpectTable(ImgSuiteOff, {{3, 0}, {6, 0}, {7, 124}, {9, 0}, {11, 0}}, "ImgSuiteOff");
    ExpectTable(ImgExamOff, {{3, 116}, {6, 116}, {7, 240}, {9, 116}, {11, 116}}, "ImgExamOff");
    ExpectTable(ImgSeriesOff, {{3, 1156}, {6, 1156}, {7, 1280}, {9, 1156}, {11, 1156}}, "ImgSeriesOff");
    ExpectTable(ImgImageOff, {{3, 2184}, {6, 2692}, {7, 2816}, {9, 3204}, {11, 3204}}, "ImgImageOff");
}

TEST(GETables, IdentificationOffsets)
{
    ExpectTable(VerOff,
                {{0, 0}, {1, 0}, {2, 0}, {3, 3228}, {4, 0}, {5, 0}, {6, 4228}, {7, 0}, {8, 0},
                 {9, 4740}, {10, 0}, {11, 5252}},
                "VerOff");
    ExpectTable(ImgHdrOff, {{1, 4}, {3, 3232}, {6, 4232}, {7, 4}, {9, 4744}, {11, 5256}}, "ImgHdrOff");
}

TEST(GETables, KindsRevisionsMagicsAndPartners)
{
    ExpectTable(VerFile,
                {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}, {5, 0}, {6, 1}, {7, 1}, {8, 0}, {9, 1},
                 {10, 0}, {11, 1}},
                "VerFile");
    ExpectTable(RawImgVer, {{0, 1}, {2, 3}, {4, 3}, {5, 6}, {8, 9}, {10, 11}}, "RawImgVer");
    ExpectTable(ImgMagic,
                {{1, 0x494D4746}, {3, 0x494D4746}, {6, 0x494D4746}, {7, 134744772}, {9, 0x494D4746},
                 {11, 0x494D4746}},
                "ImgMagic");
    const std::map<int, std::uint32_t> revisionBits{{0, 0x40A66666u}, {2, 0x40E00000u}, {4, 0x41000000u},
                                                    {5, 0x41100000u}, {8, 0x41300000u}, {10, 0x4164CCCDu}};
    for (int key = 0; key < 12; ++key) {
        ASSERT_EQ(RawRev.has(key), revisionBits.count(key) == 1) << key;
        if (RawRev.has(key)) {
            EXPECT_EQ(std::bit_cast<std::uint32_t>(RawRev.at(key)), revisionBits.at(key)) << key;
        }
    }
}

TEST(GETables, BlockSizesHaveEntriesOnlyForTheirKindOfKey)
{
    for (int subsec = 0; subsec < 13; ++subsec) {
        const bool rawBlock = subsec <= 4 || subsec == 9;
        for (int key = 0; key < 12; ++key)
            EXPECT_EQ(SubSecSize[std::size_t(subsec)].has(key), rawBlock == (VerFile.at(key) == 0))
                << "subsection " << subsec << " key " << key;
    }
    EXPECT_EQ(SubSecSize[9].at(4), 0);  // a real, empty entry
    EXPECT_TRUE(SubSecSize[9].has(4));
    EXPECT_EQ(SubSecSize[9].at(10), 1500);
    EXPECT_EQ(SubSecSize[11].at(9), 2048);
    EXPECT_EQ(SubSecSize[12].at(9), 1536);
    for (int key : {6, 7, 9, 11})
        EXPECT_EQ(SubSecSize[5].at(key), SubSecSize[5].at(3));
}
