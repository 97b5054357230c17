#include <gtest/gtest.h>

#include "model/IImageFrameList.h"
#include "model/IInfoFrame.h"
#include "model/IMainFrame.h"
#include "model/ReaderHooks.h"
#include "model/TCSIReader.h"

namespace {

class TFakeReader : public TCSIReader {
public:
    explicit TFakeReader(const TCSIReadParams* p) : TCSIReader(p) {}
    TCSISet* Read(std::string path) override
    {
        lastPath = path;
        return nullptr;
    }
    const TCSIReadParams& Params() const { return m_params; }
    std::string lastPath;
};

class ReaderHooksTest : public ::testing::Test {
protected:
    void TearDown() override { ClearReaderHooks(); }
};

}  // namespace

TEST_F(ReaderHooksTest, FactoryGetsFormatAndReaderKeepsItsOwnCopy)
{
    TCSIReadParams params;
    EXPECT_EQ(CreateCSIReader(2, &params), nullptr);  // no factory yet
    uint32_t seenFormat = 99;
    InstallCSIReaderFactory([&](uint32_t format, const TCSIReadParams* p) -> TCSIReader* {
        seenFormat = format;
        return new TFakeReader(p);
    });
    params.m_nFormat = 15;
    params.m_nSpatialDims = 3;
    params.m_bCenter[0] = 1;
    params.m_bSpare = 1;
    TCSIReader* reader = CreateCSIReader(15, &params);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(seenFormat, 15u);
    params.m_nSpatialDims = 2;  // the reader's copy does not follow the caller's block
    const auto& copy = static_cast<TFakeReader*>(reader)->Params();
    EXPECT_EQ(copy.m_nSpatialDims, 3);
    EXPECT_EQ(copy.m_bCenter[0], 1);
    EXPECT_EQ(copy.m_bSpare, 1);
    delete reader;
}

TEST_F(ReaderHooksTest, OptionBytesLieWhereThePluginInterfaceExpectsThem)
{
    // Option byte k lies at byte 60 + k of the block; the dimension word at byte 80.
    TCSIReadParams params;
    params.m_bSpare = 1;
    params.m_bSpaceDomain = 1;
    params.m_nSpatialDims = 0x01020304;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&params);
    EXPECT_EQ(bytes[60 + 14], 1);
    EXPECT_EQ(bytes[60 + 16], 1);
    EXPECT_EQ(bytes[60 + 13], 0);
    EXPECT_EQ(bytes[80], 0x04);
}

TEST_F(ReaderHooksTest, ImageReadersAreKeptPerTypeAndOtherTypesHaveNone)
{
    for (int type = 0; type < kImageTypeCount; ++type)
        InstallImageReader(type, [](TImageSet&, const std::string&, TImageImportParams, TProject*) { return true; });
    InstallImageReader(7, [](TImageSet&, const std::string&, TImageImportParams, TProject*) { return true; });
    EXPECT_FALSE(ImageReaderFor(-1));
    EXPECT_FALSE(ImageReaderFor(7));
    auto reader = ImageReaderFor(5);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(ImageReaderFor(0));
    ClearReaderHooks();
    EXPECT_FALSE(ImageReaderFor(5));
}
