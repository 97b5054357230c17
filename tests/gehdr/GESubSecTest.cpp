#include <gtest/gtest.h>

#include "gehdr/GEByteOrder.h"
#include "gehdr/GESubSec.h"
#include "gehdr/GEcleanstr.h"
#include "GETestSupport.h"

#include <bit>

using getest::TCapturedStderr;

namespace {

// A block with hand-made layouts, so that the base is tested on its own.
class TTestBlock : public GESubSec {
public:
    explicit TTestBlock(const std::string& name = "GEExamData") { set_class_name(name); }
};

GELayout IntAt8(const int& key) { return key == -1 ? GELayout{-1, -1} : GELayout{8, 4}; }
GELayout ShortAt2(const int& key) { return key == -1 ? GELayout{-1, -1} : GELayout{2, 2}; }
GELayout TextAt12(const int& key) { return key == -1 ? GELayout{-1, -1} : GELayout{12, 5}; }
GELayout Absent(const int&) { return GELayout{-1, 4}; }
GELayout AbsentSize(const int&) { return GELayout{8, -1}; }
GELayout PastTheEnd(const int&) { return GELayout{1038, 4}; }
GELayout Zero(const int&) { return GELayout{1040, 0}; }

std::string Block(std::size_t size = 1040)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

}  // namespace

TEST(GESubSec, AssignStoresBlocksOfTheVersionsSize)
{
    TTestBlock exam;
    TCapturedStderr err;
    EXPECT_EQ(exam.assign(10, Block(), 3, 0), 0);
    EXPECT_EQ(exam.size(), 1040u);
    EXPECT_EQ(exam.version_key(), 3);
    EXPECT_EQ(exam.data(), Block());
    EXPECT_EQ(exam.sizes(), SubSecSize[10]);
    EXPECT_EQ(err.Text(), "");
}

TEST(GESubSec, AssignRefusesUnknownKeys)
{
    struct Case {
        int subsec, version;
        const char* message;
    };
    const Case cases[] = {
        {13, 3, "GEExamData(GESubSec)::assign: subsection key: 13 doesn't exist\n"},
        {-1, 3, "GEExamData(GESubSec)::assign: subsection key: -1 doesn't exist\n"},
        {10, -1, "GEExamData(GESubSec)::assign: version key: -1 doesn't exist\n"},
        {10, 12, "GEExamData(GESubSec)::assign: version key: 12 doesn't exist\n"},
        {5, 0, "GEExamData(GESubSec)::assign: version key: 0 is not valid for subsection key: 5\n"},
    };
    for (const Case& c : cases) {
        TTestBlock exam;
        TCapturedStderr err;
        EXPECT_EQ(exam.assign(c.subsec, Block(), c.version, 0), -1) << c.message;
        EXPECT_EQ(err.Text(), c.message);
        EXPECT_EQ(exam.version_key(), -1);
        EXPECT_EQ(exam.size(), 0u);
    }
}

TEST(GESubSec, EmptyAssignSetsTheVersionWithoutBytes)
{
    TTestBlock exam;
    TCapturedStderr err;
    EXPECT_EQ(exam.assign(10, "", 9, 1), 0);
    EXPECT_EQ(exam.size(), 0u);
    EXPECT_EQ((std::vector<int>{exam.version_key(), exam.get_int(IntAt8), exam.get_ushort(ShortAt2),
                                exam.set_int(IntAt8, 5)}),
              (std::vector<int>{9, -1, 65535, -1}));
    EXPECT_EQ(exam.get_float(IntAt8), -1.0f);
    EXPECT_EQ(exam.get_string(TextAt12), "Not Defined");
    EXPECT_EQ(err.Text(), "");
}

TEST(GESubSec, InitGivesAVersionOrNoneWithoutBytes)
{
    TTestBlock exam;
    ASSERT_EQ(exam.assign(10, Block(), 3, 0), 0);
    EXPECT_EQ(exam.init(10, -1, -1), 0);
    EXPECT_EQ(exam.version_key(), -1);
    EXPECT_EQ(exam.size(), 0u);
    EXPECT_EQ(exam.init(10, 11, 0), 0);
    EXPECT_EQ(exam.version_key(), 11);
    EXPECT_EQ(exam.init(10, 0, 0), -1);  // a raw key for an image block
    EXPECT_EQ(exam.version_key(), -1);
    EXPECT_EQ(exam.init(13, 3, 0), -1);
    EXPECT_EQ(exam.init(9, 4, 0), 0);  // a real, empty size entry
}

TEST(GESubSec, NumbersReadInTheFilesByteOrder)
{
    std::string bytes(1040, '\0');
    bytes[8] = 0x00, bytes[9] = 0x00, bytes[10] = 0x01, bytes[11] = 0x00;
    TTestBlock exam;
    ASSERT_EQ(exam.assign(10, bytes, 3, 0), 0);
    EXPECT_EQ(exam.get_int(IntAt8), 256);
    ASSERT_EQ(exam.assign(10, bytes, 3, 1), 0);
    EXPECT_EQ(exam.get_int(IntAt8), 65536);
    ASSERT_EQ(exam.assign(10, bytes, 3, 2), 0);  // unknown order: no swapping
    EXPECT_EQ(exam.swap(), 0);
    EXPECT_EQ(exam.get_int(IntAt8), GEHostIsLittleEndian() ? 65536 : 256);
}

TEST(GESubSec, AllBitsSetReadsLikeAnAbsentField)
{
    std::string bytes(1040, '\0');
    bytes[2] = char(0xFF), bytes[3] = char(0xFF);
    TTestBlock exam;
    ASSERT_EQ(exam.assign(10, bytes, 3, 0), 0);
    EXPECT_EQ(exam.get_ushort(ShortAt2), 65535);
    EXPECT_EQ(exam.get_short(ShortAt2), -1);
    EXPECT_EQ(exam.get_ushort(Absent), 65535);
    EXPECT_EQ(exam.get_short(Absent), -1);
}

TEST(GESubSec, FieldsOutsideTheBytesAreNeverRead)
{
    TTestBlock exam;
    ASSERT_EQ(exam.assign(10, Block(), 3, 1), 0);
    EXPECT_EQ(exam.get_float(Absent), -1.0f);
    EXPECT_EQ((std::vector<int>{exam.get_int(Absent), exam.get_int(PastTheEnd), exam.get_int(nullptr),
                                exam.set_int(PastTheEnd, 1), exam.set_int(AbsentSize, 1), exam.set_int(Absent, 1)}),
              std::vector<int>(6, -1));
    // A field of size 0 at the very end is the empty text.
    EXPECT_EQ((std::vector<std::string>{exam.get_string(PastTheEnd), exam.get_string(Absent),
                                        exam.get_string(AbsentSize), exam.get_string(Zero)}),
              (std::vector<std::string>{"Not Defined", "Not Defined", "Not Defined", ""}));
    EXPECT_EQ(exam.data(), Block());  // nothing changed
}

TEST(GESubSec, SettersWriteTheCopyInTheFilesByteOrder)
{
    for (int order : {0, 1}) {
        TTestBlock exam;
        ASSERT_EQ(exam.assign(10, std::string(1040, '\0'), 3, order), 0);
        EXPECT_EQ(exam.set_int(IntAt8, 0x01020304), 0);
        EXPECT_EQ(exam.set_short(ShortAt2, -3), 0);
        std::string expected(1040, '\0');
        getest::Put32(expected, 8, 0x01020304, order);
        getest::Put16(expected, 2, -3, order);
        EXPECT_EQ(exam.data(), expected) << order;
        EXPECT_EQ(exam.set_float(IntAt8, -0.75f), 0);
        EXPECT_EQ(exam.set_ushort(ShortAt2, 40000), 0);
        getest::PutFloat(expected, 8, -0.75f, order);
        getest::Put16(expected, 2, 40000, order);
        EXPECT_EQ(exam.data(), expected) << order;
        EXPECT_EQ(exam.get_float(IntAt8), -0.75f);
        EXPECT_EQ(exam.get_ushort(ShortAt2), 40000);
    }
}

TEST(GEcleanstr, CutsAtNulAndReplacesUnprintableBytes)
{
    EXPECT_EQ(GEcleanstr(std::string("AB^D\0EF", 7)), "AB D");
    EXPECT_EQ(GEcleanstr("a\tb\xE9" "c\x7F"), "a_b_c_");
    EXPECT_EQ(GEcleanstr("\x80\xFF\x1F"), "___");
    EXPECT_EQ(GEcleanstr(std::string("\0abc", 4)), "");
    EXPECT_EQ(GEcleanstr("Doe^John"), "Doe John");
    EXPECT_EQ(GEcleanstr(""), "");
}
