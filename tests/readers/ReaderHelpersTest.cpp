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
