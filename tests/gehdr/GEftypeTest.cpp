#include <gtest/gtest.h>

#include "gehdr/GEftype.h"
#include "support/TestFiles.h"
#include "GETestSupport.h"

#include <vector>

using getest::Put32;
using getest::PutText;
using getest::PutU;

namespace {

using Result = std::vector<int>;
const Result kNothing{-1, -1, -1, -1};

// A header of `size` zero bytes with a 4-byte word at `offset` in the given
// byte order (0 big-endian, 1 little-endian).
std::string WordAt(std::size_t size, std::size_t offset, std::uint32_t word, int order)
{
    std::string bytes(size, '\0');
    PutU(bytes, offset, word, 4, order);
    return bytes;
}

// Runs GEftype on the bytes both as a file and as the bytes themselves.
class GEftypeTest : public ::testing::Test {
protected:
    void ExpectBothModes(const std::string& bytes, const Result& expected)
    {
        EXPECT_EQ(GEftype(bytes), expected) << "string mode";
        const std::string path = m_folder.File("header.bin");
        vx::test::WriteBytes(path, bytes);
        EXPECT_EQ(GEftype(path), expected) << "file mode";
    }
    vx::test::TTempFolder m_folder;
};

}  // namespace

TEST_F(GEftypeTest, RevisionNumbersIdentifyRawLayoutsInEitherByteOrder)
{
    // 14.3 big-endian, then byte-reversed.
    ExpectBothModes(WordAt(145908, 0, 0x4164CCCD, 0), Result{0, 10, 145908, 0});
    ExpectBothModes(WordAt(145908, 0, 0x4164CCCD, 1), Result{0, 10, 145908, 1});
    // 5.2: key 0, and its header is 2 bytes longer than its blocks.
    ExpectBothModes(WordAt(39940, 0, 0x40A66666, 0), Result{0, 0, 39940, 0});
    ExpectBothModes(WordAt(61464, 0, 0x41100000, 1), Result{0, 5, 61464, 1});  // 9.0
    ExpectBothModes(WordAt(66072, 0, 0x41300000, 0), Result{0, 8, 66072, 0});  // 11.0
}

TEST_F(GEftypeTest, RevisionComparisonIsBitExact)
{
    ExpectBothModes(WordAt(39940, 0, 0x40A66667, 0), kNothing);
    ExpectBothModes(WordAt(39940, 0, 0x40A66665, 1), kNothing);
    ExpectBothModes(WordAt(145908, 0, 0x4164CCCC, 0), kNothing);
}

TEST_F(GEftypeTest, ImageMagicAndHeaderLength)
{
    // "IMGF" at 0 with the header length after it: image key 1.
    std::string be = WordAt(8000, 0, 0x494D4746, 0);
    Put32(be, 4, 7904, 0);
    ExpectBothModes(be, Result{1, 1, 7904, 0});
    EXPECT_EQ(be.substr(0, 4), "IMGF");

    std::string le = WordAt(8000, 0, 0x494D4746, 1);
    Put32(le, 4, 7904, 1);
    ExpectBothModes(le, Result{1, 1, 7904, 1});

    // The older magic word opens the control block of key 7.
    std::string k7 = WordAt(8000, 0, 0x08080AC4, 0);
    Put32(k7, 4, 3000, 0);
    ExpectBothModes(k7, Result{1, 7, 3000, 0});

    // Keys whose control block follows the data blocks add its offset.
    for (auto [key, ctrl] : {std::pair{3, 3228}, {6, 4228}, {9, 4740}, {11, 5252}}) {
        std::string bytes = WordAt(6000, std::size_t(ctrl), 0x494D4746, 1);
        Put32(bytes, std::size_t(ctrl) + 4, 7904, 1);
        ExpectBothModes(bytes, Result{1, key, 7904 + ctrl, 1});
    }
}

TEST_F(GEftypeTest, FirstMatchWinsInKeyOrder)
{
    // A revision at 0 and a magic at 4740 both present: raw key 0 is tested first.
    std::string bytes = WordAt(39940, 0, 0x40A66666, 0);
    PutText(bytes, 4740, "IMGF");
    ExpectBothModes(bytes, Result{0, 0, 39940, 0});
}

TEST_F(GEftypeTest, ShortSourcesStopTheSearch)
{
    // Key 3's magic cut off at the end: the search stops before key 4.
    ExpectBothModes(WordAt(3230, 3228, 0x494D4746, 0).substr(0, 3230), kNothing);
    // A key-9 magic beyond the end of a short file is never reached.
    std::string shortFile(3000, '\0');
    ExpectBothModes(shortFile, kNothing);
    ExpectBothModes("", kNothing);
    ExpectBothModes("IMG", kNothing);
}

TEST_F(GEftypeTest, UnreadableOrOverflowingHeaderLengthGivesNoSize)
{
    // Magic of key 9 present, but the file ends inside the length word.
    ExpectBothModes(WordAt(4746, 4740, 0x494D4746, 0), Result{1, 9, -1, 0});
    // A length whose sum with the control-block offset leaves the int range.
    std::string huge = WordAt(4748, 4740, 0x494D4746, 0);
    Put32(huge, 4744, 0x7FFFFFFF, 0);
    ExpectBothModes(huge, Result{1, 9, -1, 0});
    // Negative lengths are reported as they are; callers check the size.
    std::string negative = WordAt(4748, 4740, 0x494D4746, 0);
    Put32(negative, 4744, -5000, 0);
    ExpectBothModes(negative, Result{1, 9, -260, 0});
}

TEST_F(GEftypeTest, NamesThatCannotBeOpenedAreTakenAsBytes)
{
    EXPECT_EQ(GEftype(""), kNothing);
    EXPECT_EQ(GEftype(m_folder.File("does-not-exist")), kNothing);
    EXPECT_EQ(GEftype(m_folder.Path()), kNothing);  // a folder opens but reads nothing

    // Bytes that start with the name of a real P-file are still bytes: a name
    // never holds a NUL byte.
    const std::string path = m_folder.File("pfile");
    vx::test::WriteBytes(path, WordAt(145908, 0, 0x4164CCCD, 0));
    ASSERT_EQ(GEftype(path), (Result{0, 10, 145908, 0}));
    EXPECT_EQ(GEftype(path + std::string(1, '\0') + "rest"), kNothing);
}

TEST(GEftypeSample, DicomFilesOfAGeScannerAreNoGenesisOrRawFiles)
{
    for (const char* name : {"dicom_ge/dcm_qa_ge/i160.MRDC.1", "dicom_ge/dcm_qa_ge/i22.MRDC.1"}) {
        VX_REQUIRE_SAMPLE(name);
        EXPECT_EQ(GEftype(vx::test::SampleDataPath(name)), kNothing) << name;
    }
}

TEST(GEftypeSample, RealPFileIsRevision9LittleEndian)
{
    // Its SAGE companion states "signa_rdb_hdr_rev 9.000000" and the file is
    // stored least significant byte first.
    const char* name = "ge_pfile/tarquin/P1751_1.5T_030_2000.7";
    VX_REQUIRE_SAMPLE(name);
    EXPECT_EQ(GEftype(vx::test::SampleDataPath(name)), (Result{0, 5, 61464, 1}));
}
