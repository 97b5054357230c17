// The start-up registration reaches the image readers through the model's hooks.
#include <gtest/gtest.h>

#include "model/ReaderHooks.h"
#include "readers/ReaderFactory.h"

TEST(ImageReaders, RegisterReadersInstallsEveryImageReaderOfThisBuild)
{
    ClearReaderHooks();
    EXPECT_FALSE(ImageReaderFor(0));
    RegisterReaders();
    EXPECT_TRUE(ImageReaderFor(0));
    EXPECT_TRUE(ImageReaderFor(2));
    EXPECT_TRUE(ImageReaderFor(3));
    EXPECT_TRUE(ImageReaderFor(4));
    EXPECT_TRUE(ImageReaderFor(6));
    ClearReaderHooks();
}
