// The start-up registration reaches the image readers through the model's hooks.
#include <gtest/gtest.h>

#include "model/ReaderHooks.h"
#include "readers/ReaderFactory.h"

TEST(ImageReaders, RegisterReadersInstallsEveryImageReaderOfThisBuild)
{
    ClearReaderHooks();
    EXPECT_FALSE(ImageReaderFor(0));
    RegisterReaders();
    for (int type = 0; type < kImageTypeCount; ++type)
        EXPECT_TRUE(ImageReaderFor(type)) << type;
    ClearReaderHooks();
}
