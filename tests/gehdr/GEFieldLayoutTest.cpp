#include <gtest/gtest.h>

#include "gehdr/GEExamData.h"
#include "gehdr/GEFieldLayoutData.h"
#include "gehdr/GEImgCtrl.h"
#include "gehdr/GEMRImgData.h"
#include "gehdr/GESeriesData.h"
#include "gehdr/GESuiteData.h"
#include "gehdr/GETables.h"

#include <set>
#include <span>
#include <utility>
#include <vector>

namespace {

using Layout = std::vector<int>;
using Runs = std::vector<std::pair<int, int>>;  // first and last byte of each run

// Byte runs of a block that no field of the list covers, for a version key.
Runs Uncovered(std::span<const GELayoutFn> fields, int key, int blockSize)
{
    std::vector<bool> covered(std::size_t(blockSize), false);
    for (GELayoutFn f : fields) {
        const Layout l = f(key);
        for (int i = l[0]; l[0] >= 0 && i < l[0] + l[1]; ++i)
            covered[std::size_t(i)] = true;
    }
    Runs runs;
    for (int i = 0; i < blockSize; ++i) {
        if (covered[std::size_t(i)])
            continue;
        if (!runs.empty() && runs.back().second == i - 1)
            runs.back().second = i;
        else
            runs.emplace_back(i, i);
    }
    return runs;
}

Runs LongerThan(const Runs& runs, int bytes)
{
    Runs out;
    for (auto r : runs)
        if (r.second - r.first + 1 > bytes)
            out.push_back(r);
    return out;
}

}  // namespace

TEST(GEFieldLayout, EveryFieldLiesInsideItsBlockWithoutOverlap)
{
    struct Block {
        const char* name;
        std::span<const GELayoutFn> fields;
        int subsec;
        std::size_t count;
    };
    // The raw header block and the histogram block keep no field list of
    // their own; build one from their layout tables.
    static constexpr auto rdb = GEMakeFieldList<GERdbHdrLayouts>();
    static constexpr auto hist = GEMakeFieldList<GEHistDataLayouts>();
    const Block blocks[] = {
        {"GERdbHdr", rdb, 0, 26},                     {"GEHistData", hist, 7, 8},
        {"GEImgCtrl", GEImgCtrl::fields, 5, 40},      {"GESuiteData", GESuiteData::fields, 8, 8},
        {"GEExamData", GEExamData::fields, 10, 73},   {"GESeriesData", GESeriesData::fields, 11, 127},
        {"GEMRImgData", GEMRImgData::fields, 12, 282},
    };
    for (const Block& b : blocks) {
        EXPECT_EQ(b.fields.size(), b.count) << b.name;
        for (int key = 0; key < 12; ++key) {
            if (!SubSecSize[std::size_t(b.subsec)].has(key))
                continue;
            const int blockSize = SubSecSize[std::size_t(b.subsec)].at(key);
            std::vector<int> owner(std::size_t(blockSize), -1);
            for (std::size_t n = 0; n < b.fields.size(); ++n) {
                const Layout l = b.fields[n](key);
                ASSERT_GE(l.size(), 2u);
                if (l[0] < 0)
                    continue;
                ASSERT_GE(l[1], 0) << b.name << " field " << n << " key " << key;
                ASSERT_LE(l[0] + l[1], blockSize) << b.name << " field " << n << " key " << key;
                for (int i = l[0]; i < l[0] + l[1]; ++i) {
                    EXPECT_EQ(owner[std::size_t(i)], -1)
                        << b.name << " key " << key << ": fields " << owner[std::size_t(i)] << " and " << n
                        << " share byte " << i;
                    owner[std::size_t(i)] = int(n);
                }
            }
        }
    }
}

TEST(GEFieldLayout, VersionMinusOneHasNoLayoutAnywhere)
{
    for (auto fields : {std::span<const GELayoutFn>(GEImgCtrl::fields), std::span<const GELayoutFn>(GESuiteData::fields),
                        std::span<const GELayoutFn>(GEExamData::fields), std::span<const GELayoutFn>(GESeriesData::fields),
                        std::span<const GELayoutFn>(GEMRImgData::fields)})
        for (GELayoutFn f : fields)
            EXPECT_EQ(f(-1), (Layout{-1, -1}));
}

TEST(GESeriesDataLayout, KeysSharingALayoutAndOtherKeys)
{
    const auto& f = GESeriesData::fields;
    for (std::size_t n = 0; n < f.size(); ++n) {
        EXPECT_EQ(f[n](7), f[n](6)) << n;
        if (n == 126)
            continue;  // the rest of the block needs a block size
        for (int other : {0, 2, 4, 5, 8, 10, 12, 100, -2})
            EXPECT_EQ(f[n](other)[0], f[n](11)[0]) << "field " << n << " key " << other;
    }
    EXPECT_EQ(f[126](0), (Layout{-1, -1}));  // no block size for a raw key
}

TEST(GESeriesDataLayout, FieldsTheReadersRelyOn)
{
    const auto& f = GESeriesData::fields;
    for (int n : {90, 94}) {
        for (int key : {1, 3, 6, 7})
            EXPECT_EQ(f[std::size_t(n)](key)[1], 64) << n << " " << key;
        EXPECT_EQ(f[std::size_t(n)](9)[1], 65);
        EXPECT_EQ(f[std::size_t(n)](11)[1], 65);
    }
    EXPECT_EQ(f[91](1), (Layout{656, 16}));
    for (int key : {3, 6, 7})
        EXPECT_EQ(f[91](key), (Layout{664, 16}));
    for (int n : {45, 47, 49}) {
        EXPECT_EQ(f[std::size_t(n)](11), (Layout{-1, 8})) << n;
        EXPECT_EQ(f[std::size_t(n)](9)[1], 8) << n;
    }
    EXPECT_EQ(f[102](1), (Layout{838, 32, 1}));
    EXPECT_EQ(f[102](3), (Layout{846, 32, 1}));
    EXPECT_EQ(f[102](6), (Layout{840, 32, 4}));
    EXPECT_EQ(f[102](11), (Layout{1117, 32, 4}));
    EXPECT_EQ(f[104](1), (Layout{-1, 2}));
    EXPECT_EQ(f[116](7)[0], -1);
    EXPECT_EQ(f[125](9), (Layout{1561, 64}));
}

TEST(GESeriesDataLayout, PadRunsToTheEndOfTheBlock)
{
    const auto& pad = GESeriesData::fields[126];
    EXPECT_EQ(pad(1), (Layout{872, 148}));
    EXPECT_EQ(pad(3), (Layout{880, 148}));
    EXPECT_EQ(pad(6), (Layout{1416, 120}));
    EXPECT_EQ(pad(7), (Layout{1416, 120}));
    EXPECT_EQ(pad(9), (Layout{1625, 423}));
    EXPECT_EQ(pad(11), (Layout{1833, 215}));
}

TEST(GESeriesDataLayout, OnlyTheKnownRunsAreLeftUncovered)
{
    const auto& f = GESeriesData::fields;
    // Layouts 1, 3 and 6/7 leave alignment gaps of up to 3 bytes besides these.
    EXPECT_EQ(LongerThan(Uncovered(f, 1, 1020), 3), Runs{});
    EXPECT_EQ(LongerThan(Uncovered(f, 3, 1028), 3), Runs{});
    EXPECT_EQ(LongerThan(Uncovered(f, 6, 1536), 3), (Runs{{872, 967}}));
    EXPECT_EQ(Uncovered(f, 9, 2048), (Runs{{272, 275}, {941, 1036}}));
    EXPECT_EQ(Uncovered(f, 11, 2048),
              (Runs{{0, 55}, {144, 175}, {208, 239}, {284, 347}, {432, 483}, {1149, 1244}}));
}

TEST(GEMRImgDataLayout, FieldsTheReadersRelyOn)
{
    const auto& f = GEMRImgData::fields;
    EXPECT_EQ(f[81](1), (Layout{296, 2}));
    EXPECT_EQ(f[81](9)[0], -1);
    EXPECT_EQ(f[81](11)[0], -1);
    for (int key : {1, 3, 6, 7, 11})
        EXPECT_EQ(f[271](key)[0], -1) << key;
    EXPECT_EQ(f[271](9), (Layout{1275, 64}));
    for (std::size_t n = 272; n <= 280; ++n)
        for (int key : {1, 3, 6, 7, 9, 11})
            EXPECT_EQ(f[n](key)[0] >= 0, key == 11) << n << " " << key;
    for (std::size_t n = 253; n <= 270; ++n)
        for (int key : {1, 3, 6, 7, 9, 11})
            EXPECT_EQ(f[n](key)[0] >= 0, key >= 9) << n << " " << key;
    EXPECT_EQ(f[6](1), (Layout{14, 4}));  // layout 1 packs on 2-byte boundaries
    EXPECT_EQ(f[6](3), (Layout{16, 4}));
    for (std::size_t n = 0; n < f.size(); ++n)
        EXPECT_EQ(f[n](7), f[n](6)) << n;
}

TEST(GEMRImgDataLayout, PadAndUncoveredRuns)
{
    const auto& f = GEMRImgData::fields;
    EXPECT_EQ(f[281](1), (Layout{1022, 0}));
    EXPECT_EQ(f[281](3), (Layout{1044, 0}));
    EXPECT_EQ(f[281](6), (Layout{1052, 484}));
    EXPECT_EQ(f[281](9), (Layout{1371, 165}));
    EXPECT_EQ(f[281](11), (Layout{1838, 210}));
    EXPECT_EQ(LongerThan(Uncovered(f, 1, 1022), 3), (Runs{{810, 815}}));
    EXPECT_EQ(LongerThan(Uncovered(f, 3, 1044), 3), (Runs{{832, 837}}));
    EXPECT_EQ(LongerThan(Uncovered(f, 6, 1536), 3), (Runs{{832, 837}}));
    EXPECT_EQ(Uncovered(f, 9, 1536), (Runs{{722, 723}, {802, 803}}));
    EXPECT_EQ(Uncovered(f, 11, 2048), (Runs{{0, 63}, {516, 643}, {672, 703}, {892, 1019}, {1082, 1083},
                                            {1162, 1163}, {1208, 1271}}));
}

TEST(GEExamAndSuiteLayout, RestOfBlockAndVersionDifferences)
{
    const auto& exam = GEExamData::fields;
    for (int n : {48, 50, 52, 54, 57, 58})
        EXPECT_EQ(exam[std::size_t(n)](11)[0], -1) << n;
    EXPECT_EQ(exam[58](9)[0], -1);
    EXPECT_EQ(exam[57](9), (Layout{40, 8}));
    EXPECT_EQ(exam[72](1), (Layout{776, 248}));
    EXPECT_EQ(exam[72](3), (Layout{788, 252}));
    EXPECT_EQ(exam[72](9), (Layout{818, 222}));
    EXPECT_EQ(exam[72](11), (Layout{978, 62}));
    EXPECT_EQ(exam[3](0), (Layout{-1, -1}));  // raw keys have no exam layout of their own

    const auto& suite = GESuiteData::fields;
    EXPECT_EQ(suite[7](1), (Layout{28, 86}));
    EXPECT_EQ(suite[7](6), (Layout{28, 88}));
    EXPECT_EQ(suite[7](9), (Layout{30, 86}));
    EXPECT_EQ(suite[7](11), (Layout{74, 42}));
    EXPECT_EQ(suite[3](11), (Layout{52, 13}));
}

TEST(GEImgCtrlLayout, SelfDescribingFieldsExistOnlyInLayoutOne)
{
    const auto& f = GEImgCtrl::fields;
    for (std::size_t n = 32; n < 40; ++n) {
        EXPECT_EQ(f[n](1), (Layout{int(124 + 4 * (n - 32)), 4})) << n;
        for (int key : {3, 6, 7, 9, 11})
            EXPECT_EQ(f[n](key)[0], -1) << n << " " << key;
    }
    EXPECT_EQ(f[14](9), (Layout{54, 2}));
    EXPECT_EQ(f[31](11), (Layout{120, 4}));
    EXPECT_EQ(f[0](0), (Layout{-1, -1}));
}
