#include <gtest/gtest.h>

#include "readers/ReaderHelpers.h"

TEST(ReaderHelpers, NamesFromTheLastPathComponents)
{
    const struct {
        const char* path;
        int count;
        const char* name;
    } cases[] = {
        {"/data/study/5/fid", 3, "study_5_fid"},
        {"C:\\data\\study\\5\\fid", 3, "study_5_fid"},
        {"/data/study\\5/pdata/1/2dseq", 4, "5_pdata_1_2dseq"},
        {"/5/fid", 3, "5_fid"},  // fewer separators: after the first one
        {"5/fid", 3, "fid"},
        {"fid", 3, "fid"},  // none: the whole path
        {"/a/b/c/\x01x", 2, "c__x"},
        {"/a/b/..", 1, "_.."},  // never a folder reference
    };
    for (const auto& c : cases)
        EXPECT_EQ(NameFromLastComponents(c.path, c.count), c.name) << c.path;
}

TEST(ReaderHelpers, LittleEndianFloatsAreDecodedFromTheirBytes)
{
    // Sign, exponent and mantissa written out by hand, lowest byte first: 1.0 is
    // 0x3F800000, -1.5 is 0xBFC00000, 0.15625 is 0x3E200000, and the smallest normal
    // float 2^-126 is 0x00800000; the bytes of a float are never taken in host order.
    const unsigned char bytes[] = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0xC0, 0xBF,
                                   0x00, 0x00, 0x20, 0x3E, 0x00, 0x00, 0x80, 0x00};
    float out[4] = {};
    DecodeFloat32LE(bytes, 4, out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], -1.5f);
    EXPECT_EQ(out[2], 0.15625f);
    EXPECT_EQ(out[3], 0x1p-126f);
}
