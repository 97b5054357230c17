#include <gtest/gtest.h>

#include "gehdr/GEExamData.h"
#include "gehdr/GEHistData.h"
#include "gehdr/GEImgCtrl.h"
#include "gehdr/GEMRImgData.h"
#include "gehdr/GERdbHdr.h"
#include "gehdr/GESeriesData.h"
#include "GETestSupport.h"

#include <array>
#include <cmath>
#include <string>

using getest::Put16;
using getest::Put32;
using getest::PutFloat;
using getest::PutText;
using getest::TCapturedStderr;

// Field places below are written out from the layout tables by hand, so that
// a slip in the generated tables or in a getter's field number shows up.
namespace {

enum class Kind { Float, Int16, UInt16, Int32, Text };

// Offsets per layout column; -1 where the layout lacks the field.
template <class Block, std::size_t C>
struct Getter {
    const char* name;
    Kind kind;
    std::array<int, C> offset;
    int textSize;  // bytes of a text field in each layout (0: per column below)
    float (Block::*getFloat)() const = nullptr;
    std::int32_t (Block::*getInt)() const = nullptr;
    std::int16_t (Block::*getShort)() const = nullptr;
    std::uint16_t (Block::*getUShort)() const = nullptr;
    std::string (Block::*getText)() const = nullptr;
};

template <class Block, std::size_t C>
Getter<Block, C> F(const char* n, std::array<int, C> o, float (Block::*g)() const)
{
    return {n, Kind::Float, o, 0, g};
}
template <class Block, std::size_t C>
Getter<Block, C> I(const char* n, std::array<int, C> o, std::int32_t (Block::*g)() const)
{
    return {n, Kind::Int32, o, 0, nullptr, g};
}
template <class Block, std::size_t C>
Getter<Block, C> S(const char* n, std::array<int, C> o, std::int16_t (Block::*g)() const)
{
    return {n, Kind::Int16, o, 0, nullptr, nullptr, g};
}
template <class Block, std::size_t C>
Getter<Block, C> U(const char* n, std::array<int, C> o, std::uint16_t (Block::*g)() const)
{
    return {n, Kind::UInt16, o, 0, nullptr, nullptr, nullptr, g};
}
template <class Block, std::size_t C>
Getter<Block, C> T(const char* n, std::array<int, C> o, int size, std::string (Block::*g)() const)
{
    return {n, Kind::Text, o, size, nullptr, nullptr, nullptr, nullptr, g};
}

std::string TextValue(std::size_t i, int size)
{
    std::string t = "v";
    t += std::to_string(i);
    t += "^x";
    t.resize(std::size_t(size), '\0');
    return t;
}

// Writes a distinct value at every getter's place for layout column `c`,
// assigns the block and reads every value back.
template <class Block, std::size_t C, std::size_t N>
void CheckGetters(const std::array<Getter<Block, C>, N>& getters, std::size_t c, int key, int blockSize,
                  std::array<int, C> textSizes = {})
{
    for (int order : {0, 1}) {
        std::string bytes(std::size_t(blockSize), '\0');
        for (std::size_t i = 0; i < N; ++i) {
            const auto& g = getters[i];
            const int off = g.offset[c];
            if (off < 0)
                continue;
            const auto o = std::size_t(off);
            switch (g.kind) {
            case Kind::Float: PutFloat(bytes, o, 0.25f + float(i), order); break;
            case Kind::Int32: Put32(bytes, o, -100000 * std::int64_t(i + 1), order); break;
            case Kind::Int16: Put16(bytes, o, -int(i) - 2, order); break;
            case Kind::UInt16: Put16(bytes, o, 40000 + int(i), order); break;
            case Kind::Text: PutText(bytes, o, TextValue(i, g.textSize ? g.textSize : textSizes[c])); break;
            }
        }
        ASSERT_EQ(bytes.size(), std::size_t(blockSize));
        Block block(-1, -1);
        ASSERT_EQ(block.assign(bytes, key, order), 0);
        for (std::size_t i = 0; i < N; ++i) {
            const auto& g = getters[i];
            const bool absent = g.offset[c] < 0;
            SCOPED_TRACE(std::string(g.name) + " key " + std::to_string(key) + " order " + std::to_string(order));
            switch (g.kind) {
            case Kind::Float:
                EXPECT_EQ((block.*g.getFloat)(), absent ? -1.0f : 0.25f + float(i));
                break;
            case Kind::Int32:
                EXPECT_EQ((block.*g.getInt)(), absent ? -1 : -100000 * std::int32_t(i + 1));
                break;
            case Kind::Int16:
                EXPECT_EQ((block.*g.getShort)(), absent ? -1 : -int(i) - 2);
                break;
            case Kind::UInt16:
                EXPECT_EQ((block.*g.getUShort)(), absent ? 65535 : 40000 + int(i));
                break;
            case Kind::Text:
                EXPECT_EQ((block.*g.getText)(),
                          absent ? "Not Defined" : TextValue(i, g.textSize ? g.textSize : textSizes[c]));
                break;
            }
        }
    }
}

using M = GEMRImgData;
// Columns: key 1, key 3, keys 6 and 7, key 9, key 11.
const std::array<Getter<M, 5>, 33> kImageGetters{
    F<M, 5>("slice_thickness", {26, 28, 28, 12, 76}, &M::slice_thickness),
    S<M, 5>("image_dim_x", {30, 32, 32, 660, 1020}, &M::image_dim_x),
    S<M, 5>("image_dim_y", {32, 34, 34, 662, 1022}, &M::image_dim_y),
    F<M, 5>("fov", {34, 36, 36, 0, 64}, &M::fov),
    F<M, 5>("rect_fov", {38, 40, 40, 4, 68}, &M::rect_fov),
    F<M, 5>("pixel_size_x", {50, 52, 52, 384, 448}, &M::pixel_size_x),
    F<M, 5>("pixel_size_y", {54, 56, 56, 388, 452}, &M::pixel_size_y),
    S<M, 5>("plane", {114, 116, 116, 688, 1048}, &M::plane),
    F<M, 5>("field26", {116, 120, 120, 16, 80}, &M::field26),
    F<M, 5>("slice_location", {126, 132, 132, 20, 84}, &M::slice_location),
    F<M, 5>("center_x", {130, 136, 136, 392, 456}, &M::center_x),
    F<M, 5>("center_y", {134, 140, 140, 396, 460}, &M::center_y),
    F<M, 5>("center_z", {138, 144, 144, 400, 464}, &M::center_z),
    F<M, 5>("normal_x", {142, 148, 148, 404, 468}, &M::normal_x),
    F<M, 5>("normal_y", {146, 152, 152, 408, 472}, &M::normal_y),
    F<M, 5>("normal_z", {150, 156, 156, 412, 476}, &M::normal_z),
    F<M, 5>("corner1_x", {154, 160, 160, 416, 480}, &M::corner1_x),
    F<M, 5>("corner1_y", {158, 164, 164, 420, 484}, &M::corner1_y),
    F<M, 5>("corner1_z", {162, 168, 168, 424, 488}, &M::corner1_z),
    F<M, 5>("corner2_x", {166, 172, 172, 428, 492}, &M::corner2_x),
    F<M, 5>("corner2_y", {170, 176, 176, 432, 496}, &M::corner2_y),
    F<M, 5>("corner2_z", {174, 180, 180, 436, 500}, &M::corner2_z),
    I<M, 5>("repetition_time", {194, 200, 200, 488, 712}, &M::repetition_time),
    I<M, 5>("echo_time", {202, 208, 208, 496, 720}, &M::echo_time),
    I<M, 5>("oblique_plane", {270, 280, 280, 512, 736}, &M::oblique_plane),
    T<M, 5>("sequence_name", {308, 320, 320, 838, 1272}, 33, &M::sequence_name),
    T<M, 5>("sequence_short_name", {346, 360, 360, 884, 1318}, 13, &M::sequence_short_name),
    F<M, 5>("voxel_size_x", {438, 456, 456, 84, 148}, &M::voxel_size_x),
    F<M, 5>("voxel_size_y", {442, 460, 460, 88, 152}, &M::voxel_size_y),
    F<M, 5>("voxel_size_z", {446, 464, 464, 92, 156}, &M::voxel_size_z),
    F<M, 5>("voxel_center_x", {450, 468, 468, 96, 160}, &M::voxel_center_x),
    F<M, 5>("voxel_center_y", {454, 472, 472, 100, 164}, &M::voxel_center_y),
    F<M, 5>("voxel_center_z", {458, 476, 476, 104, 168}, &M::voxel_center_z),
};

using R = GERdbHdr;
// Columns: key 0, key 2, key 4, keys 5, 8 and 10.
const std::array<Getter<R, 4>, 25> kRdbGetters{
    S<R, 4>("field_56", {56, 56, 56, 56}, &R::field_56),
    S<R, 4>("field_68", {68, 68, 68, 68}, &R::field_68),
    S<R, 4>("frame_count", {74, 74, 74, 74}, &R::frame_count),
    U<R, 4>("point_count", {80, 80, 80, 80}, &R::point_count),
    S<R, 4>("point_size", {82, 82, 82, 82}, &R::point_size),
    S<R, 4>("field_176", {176, 176, 176, 176}, &R::field_176),
    S<R, 4>("field_178", {178, 178, 178, 178}, &R::field_178),
    F<R, 4>("field_252", {252, 252, 252, 252}, &R::field_252),
    F<R, 4>("field_256", {256, 256, 256, 256}, &R::field_256),
    F<R, 4>("field_260", {260, 260, 260, 260}, &R::field_260),
    F<R, 4>("field_292", {292, 292, 292, 292}, &R::field_292),
    F<R, 4>("spectral_width", {368, 368, 368, 368}, &R::spectral_width),
    S<R, 4>("spatial_dims", {372, 372, 372, 372}, &R::spatial_dims),
    S<R, 4>("csi_dim_x", {374, 374, 374, 374}, &R::csi_dim_x),
    S<R, 4>("csi_dim_y", {376, 376, 376, 376}, &R::csi_dim_y),
    S<R, 4>("csi_dim_z", {378, 378, 378, 378}, &R::csi_dim_z),
    I<R, 4>("center_freq", {424, 424, 424, 424}, &R::center_freq),
    S<R, 4>("echo_flag", {856, 856, 856, 856}, &R::echo_flag),
    F<R, 4>("field_868", {868, 868, 868, 868}, &R::field_868),
    F<R, 4>("field_1000", {-1, 1000, 1000, 1000}, &R::field_1000),
    F<R, 4>("field_1004", {-1, 1004, 1004, 1004}, &R::field_1004),
    F<R, 4>("field_1016", {-1, 1016, 1016, 1016}, &R::field_1016),
    I<R, 4>("echo_time", {-1, 1208, 1212, 1212}, &R::echo_time),
    I<R, 4>("patient_position", {-1, -1, 1332, 1336}, &R::patient_position),
    I<R, 4>("patient_entry", {-1, -1, 1336, 1340}, &R::patient_entry),
};

using E = GEExamData;
// Columns: key 1, keys 3, 6 and 7, key 9, key 11.
const std::array<Getter<E, 4>, 3> kExamGetters{
    U<E, 4>("exam_number", {8, 8, 128, 272}, &E::exam_number),
    I<E, 4>("exam_time", {208, 212, 120, 216}, &E::exam_time),
    T<E, 4>("sw_version", {352, 364, 478, 638}, 2, &E::sw_version),
};

using S_ = GESeriesData;
// Columns: key 1, key 3, keys 6 and 7, key 9, key 11.
const std::array<Getter<S_, 5>, 2> kSeriesGetters{
    T<S_, 5>("series_description", {20, 20, 20, 298, 506}, 0, &S_::series_description),
    T<S_, 5>("field18", {92, 92, 92, 384, 592}, 25, &S_::field18),
};

}  // namespace

TEST(GEGetters, ImageBlockInEveryLayoutAndByteOrder)
{
    const std::pair<int, std::size_t> keys[] = {{1, 0}, {3, 1}, {6, 2}, {7, 2}, {9, 3}, {11, 4}};
    for (auto [key, column] : keys)
        CheckGetters(kImageGetters, column, key, SubSecSize[12].at(key));
}

TEST(GEGetters, RawHeaderBlockInEveryLayoutAndByteOrder)
{
    const std::pair<int, std::size_t> keys[] = {{0, 0}, {2, 1}, {4, 2}, {5, 3}, {8, 3}, {10, 3}};
    for (auto [key, column] : keys)
        CheckGetters(kRdbGetters, column, key, 2048);
}

TEST(GEGetters, ExamAndSeriesBlocks)
{
    const std::pair<int, std::size_t> examKeys[] = {{1, 0}, {3, 1}, {6, 1}, {7, 1}, {9, 2}, {11, 3}};
    for (auto [key, column] : examKeys)
        CheckGetters(kExamGetters, column, key, SubSecSize[10].at(key));
    const std::pair<int, std::size_t> seriesKeys[] = {{1, 0}, {3, 1}, {6, 2}, {7, 2}, {9, 3}, {11, 4}};
    for (auto [key, column] : seriesKeys)
        CheckGetters(kSeriesGetters, column, key, SubSecSize[11].at(key), {30, 30, 30, 65, 65});
}

TEST(GEGetters, ControlBlockGettersAndWriters)
{
    for (int order : {0, 1}) {
        std::string bytes(156, '\0');
        Put32(bytes, 8, 256, order);    // width
        Put32(bytes, 12, 192, order);   // height
        for (int n = 15; n <= 26; ++n)  // block offsets and lengths
            Put32(bytes, std::size_t(4 * n - 4), 1000 + n, order);
        Put32(bytes, 116, 1030, order);
        Put32(bytes, 120, 1031, order);
        const int places[] = {124, 128, 132, 136, 140, 144, 148, 152};
        const int values[] = {1500, 114, 1614, 1024, 2638, 1020, 3658, 1022};
        for (int i = 0; i < 8; ++i)
            Put32(bytes, std::size_t(places[i]), values[i], order);
        GEImgCtrl ctrl(-1, -1);
        ASSERT_EQ(ctrl.assign(bytes, 1, order), 0);
        EXPECT_EQ((std::vector<int>{ctrl.width(), ctrl.height(), ctrl.p_blk1(), ctrl.l_blk1(), ctrl.p_blk2(),
                                    ctrl.l_blk3(), ctrl.p_hist(), ctrl.l_hist(), ctrl.p_blk4(), ctrl.l_blk5(),
                                    ctrl.p_blk6(), ctrl.l_blk6()}),
                  (std::vector<int>{256, 192, 1015, 1016, 1017, 1020, 1021, 1022, 1023, 1026, 1030, 1031}));
        EXPECT_EQ((std::vector<int>{ctrl.p_suite(), ctrl.l_suite(), ctrl.p_exam(), ctrl.l_exam(), ctrl.p_series(),
                                    ctrl.l_series(), ctrl.p_image(), ctrl.l_image()}),
                  (std::vector<int>{1500, 114, 1614, 1024, 2638, 1020, 3658, 1022}));

        EXPECT_EQ(ctrl.set_field_int(0, 0x494D4746), 0);
        EXPECT_EQ(ctrl.set_field_int(29, -7), 0);
        EXPECT_EQ(ctrl.set_field_short(14, -2), 0);
        std::string expected = bytes;
        Put32(expected, 0, 0x494D4746, order);
        Put32(expected, 112, -7, order);
        Put16(expected, 54, -2, order);
        EXPECT_EQ(ctrl.data(), expected);
        if (order == 0) {
            EXPECT_EQ(ctrl.data().substr(0, 4), "IMGF");
        }
        for (int readOnly : {1, 2, 3, 4, 13, 14, 21, 22, 30, 31, 32, 40, -1})
            EXPECT_EQ(ctrl.set_field_int(readOnly, 1), -1) << readOnly;
        EXPECT_EQ(ctrl.set_field_short(13, 1), -1);
        EXPECT_EQ(ctrl.data(), expected);
    }
}

TEST(GEGetters, SelfDescribingLengthsAreCheckedAndOnlyInLayoutOne)
{
    std::string bytes(156, '\0');
    Put32(bytes, 128, 116, 0);
    Put32(bytes, 136, 1040, 0);
    Put32(bytes, 144, 1028, 0);
    Put32(bytes, 152, 1044, 0);
    GEImgCtrl ctrl(-1, -1);
    ASSERT_EQ(ctrl.assign(bytes, 1, 0), 0);
    TCapturedStderr err;
    EXPECT_EQ(ctrl.l_suite(), -1);
    EXPECT_EQ(ctrl.l_exam(), -1);
    EXPECT_EQ(ctrl.l_series(), -1);
    EXPECT_EQ(ctrl.l_image(), -1);
    EXPECT_EQ(err.Lines(),
              (std::vector<std::string>{
                  "GEImgCtrl::l_suite: SuiteData size from header (116) does not match expected 5x size of 114",
                  "GEImgCtrl::l_exam: ExamData size from header (1040) does not match expected 5x size of 1024",
                  "GEImgCtrl::l_series: SeriesData size from header (1028) does not match expected 5x size of 1020",
                  "GEImgCtrl::l_image: MRImgData size from header (1044) does not match expected 5x size of 1022"}));

    GEImgCtrl later(-1, -1);
    ASSERT_EQ(later.assign(std::string(124, '\x01'), 9, 0), 0);
    TCapturedStderr quiet;
    EXPECT_EQ(later.p_suite(), -1);
    EXPECT_EQ(later.l_suite(), -1);
    EXPECT_EQ(later.l_image(), -1);
    EXPECT_EQ(quiet.Text(), "");
}

TEST(GEGetters, HistogramWriters)
{
    for (int order : {0, 1}) {
        GEHistData hist(-1, -1);
        ASSERT_EQ(hist.assign(std::string(2068, '\0'), 6, order), 0);
        EXPECT_EQ(hist.set_field_int(0, 1), 0);
        EXPECT_EQ(hist.set_field_float(1, 2.5f), 0);
        for (int n = 2; n <= 7; ++n)
            EXPECT_EQ(hist.set_field_short(n, std::int16_t(n * 100)), 0);
        EXPECT_EQ(hist.set_field_int(1, 1), -1);
        EXPECT_EQ(hist.set_field_float(0, 1), -1);
        EXPECT_EQ(hist.set_field_short(8, 1), -1);
        std::string expected(2068, '\0');
        Put32(expected, 0, 1, order);
        PutFloat(expected, 4, 2.5f, order);
        for (int n = 2; n <= 7; ++n)
            Put16(expected, std::size_t(8 + 2 * (n - 2)), n * 100, order);
        EXPECT_EQ(hist.data(), expected);
    }
}
