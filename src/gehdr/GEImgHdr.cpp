#include "gehdr/GEImgHdr.h"

#include "gehdr/GEByteOrder.h"
#include "gehdr/GESource.h"
#include "gehdr/GEftype.h"

#include <climits>
#include <iostream>

namespace {

constexpr const char* kAssign = "GEImgHdr::assign: ";
constexpr const char* kCreate = "GEImgHdr::create: ";

// Control-block defaults of a blank header: {field, value}.
constexpr int kCtrlDefaults[][2] = {{5, 1}, {6, 100}, {7, 50}, {8, 0}, {9, 16384},
                                    {10, 0}, {11, 0},  {12, 0}, {29, 0}};
// Control-block fields cleared when a key-7 header is read.
constexpr int kKey7ZeroFields[] = {8, 11, 12, 15, 16, 17, 18, 19, 20, 23, 24, 25, 26, 27, 28, 29};

// File offset of a control-block field for an image key, or -1.
int CtrlFieldFileOffset(std::size_t field, int key)
{
    const GELayout layout = GEImgCtrl::fields[field](key);
    return ImgCtrlOff.has(key) && layout[0] >= 0 ? ImgCtrlOff.at(key) + layout[0] : GEUndefined;
}

}  // namespace

GEImgHdr::GEImgHdr(const int& version_key, const int& byte_order)
    : host_little(GEHostIsLittleEndian() ? 1 : 0),
      img_ctrl(GEUndefined, GEUndefined),
      hist_data(GEUndefined, GEUndefined),
      suite_data(GEUndefined, GEUndefined),
      exam_data(GEUndefined, GEUndefined),
      series_data(GEUndefined, GEUndefined),
      mr_img_data(GEUndefined, GEUndefined)
{
    init(version_key, byte_order);
}

int GEImgHdr::init(const int& version_key_, const int& byte_order_)
{
    version_key = GEUndefined;
    byte_order = byte_order_;
    swap = GESwapFlag(byte_order);
    hdr_bytes.clear();
    hdr_size = GEUndefined;
    make_default(GEUndefined);
    if (!IsVersionKey(version_key_) || !VerFile.has(version_key_))
        return -1;
    if (VerFile.at(version_key_) != GEImageFile)
        return 0;  // a raw key leaves the header blank
    version_key = version_key_;
    return make_default(version_key);
}

void GEImgHdr::blank_blocks()
{
    img_ctrl.init(GEUndefined, GEUndefined);
    hist_data.init(GEUndefined, GEUndefined);
    suite_data.init(GEUndefined, GEUndefined);
    exam_data.init(GEUndefined, GEUndefined);
    series_data.init(GEUndefined, GEUndefined);
    mr_img_data.init(GEUndefined, GEUndefined);
    for (std::string* b : {&blk1, &blk2, &blk3, &blk4, &blk5, &blk6})
        b->clear();
}

int GEImgHdr::make_default(const int& key)
{
    if (!IsVersionKey(key) || VerFile.at(key) != GEImageFile) {
        blank_blocks();
        return 0;
    }
    // Blocks are assigned with the header's own version and byte order.
    if (int rc = img_ctrl.assign(GEZeros(SubSecSize[kImgCtrlKey].at(key)), version_key, byte_order))
        return rc;
    blk1 = GEZeros(SubSecSize[kImgRawBlkKey].at(key));
    blk2.clear();
    blk3.clear();
    if (int rc = hist_data.assign(GEZeros(SubSecSize[kHistKey].at(key)), version_key, byte_order))
        return rc;
    blk4.clear();
    blk5.clear();
    blk6.clear();
    if (int rc = suite_data.assign(GEZeros(SubSecSize[kSuiteKey].at(key)), version_key, byte_order))
        return rc;
    if (int rc = exam_data.assign(GEZeros(SubSecSize[kExamKey].at(key)), version_key, byte_order))
        return rc;
    if (int rc = series_data.assign(GEZeros(SubSecSize[kSeriesKey].at(key)), version_key, byte_order))
        return rc;
    if (int rc = mr_img_data.assign(GEZeros(SubSecSize[kImageKey].at(key)), version_key, byte_order))
        return rc;

    img_ctrl.set_field_int(0, ImgMagic.at(key, 0));
    for (const auto& [field, value] : kCtrlDefaults)
        img_ctrl.set_field_int(field, value);
    img_ctrl.set_field_short(14, 0);
    hist_data.set_field_int(0, 1);
    hist_data.set_field_float(1, 0.0f);
    for (int field = 2; field <= 7; ++field)
        hist_data.set_field_short(field, 0);
    return 0;
}

int GEImgHdr::fail_assign()
{
    init(GEUndefined, GEUndefined);
    return -1;
}

int GEImgHdr::assign(const std::string& source)
{
    init(GEUndefined, GEUndefined);
    std::ifstream file;
    const bool isFile = GEOpenSourceFile(source, file);
    const std::vector<int> type = GEftype(source);

    if (type[0] != GEImageFile) {
        std::cerr << kAssign << "string initializer is not recognized as an " << "image file!" << "\n";
        return fail_assign();
    }
    const int key = type[1];
    if (!VerFile.has(key)) {
        std::cerr << kAssign << "Version of " << key << " does not exist in " << "VerFile" << "\n";
        return fail_assign();
    }
    if (VerFile.at(key) != GEImageFile) {
        std::cerr << kAssign << "Version of " << key << " is not associated " << "with an image file" << "\n";
        return fail_assign();
    }
    version_key = key;
    hdr_size = type[2];

    std::string header;
    if (isFile) {
        if (!GEReadHeaderBytes(file, hdr_size, kMaxHeaderBytes, source, header, kAssign))
            return fail_assign();
    } else {
        header = source;
    }
    byte_order = type[3];
    swap = GESwapFlag(byte_order);
    hdr_bytes = header;
    return create(header) == 0 ? 0 : fail_assign();
}

int GEImgHdr::create(const std::string& header)
{
    if (hdr_size < 0 || header.size() != std::size_t(hdr_size)) {
        std::cerr << kCreate << "Passed string size is incorrect!" << "\n";
        return -1;
    }
    std::string run;
    auto take = [&](int offset, int length) { return GETakeRun(header, offset, length, run, kCreate); };

    if (!take(p_ImgCtrl(), l_ImgCtrl()))
        return -1;
    if (int rc = img_ctrl.assign(run, version_key, byte_order))
        return rc;
    // Every place below is read from the control block just assigned.
    if (!take(p_blk6(), l_blk6()))
        return -1;
    blk6 = run;

    if (!take(p_suite(), l_suite()))
        return -1;
    if (int rc = suite_data.assign(run, version_key, byte_order))
        return rc;
    if (!take(p_exam(), l_exam()))
        return -1;
    if (int rc = exam_data.assign(run, version_key, byte_order))
        return rc;
    if (!take(p_series(), l_series()))
        return -1;
    if (int rc = series_data.assign(run, version_key, byte_order))
        return rc;
    if (!take(p_image(), l_image()))
        return -1;
    if (int rc = mr_img_data.assign(run, version_key, byte_order))
        return rc;

    if (!take(p_hist(), l_hist()))
        return -1;
    if (int rc = hist_data.assign(run, version_key, byte_order))
        return rc;

    if (version_key == 7) {
        // The oldest layout is carried in the shape of key 6: a recon tag in
        // block 1, no blocks 2 to 5, and a control block to match.
        blk2.clear();
        blk3.clear();
        blk4.clear();
        blk5.clear();
        blk1 = "MR Recon <LX 11 ximg>";
        blk1.resize(std::size_t(SubSecSize[kImgRawBlkKey].at(7)), '\0');
        img_ctrl.set_field_int(0, ImgMagic.at(6));
        img_ctrl.set_field_int(5, 1);
        for (int field : kKey7ZeroFields)
            img_ctrl.set_field_int(field, 0);
        return 0;
    }
    const struct {
        std::string* block;
        int offset, length;
    } raw[] = {{&blk2, p_blk2(), l_blk2()},
               {&blk3, p_blk3(), l_blk3()},
               {&blk4, p_blk4(), l_blk4()},
               {&blk5, p_blk5(), l_blk5()},
               {&blk1, p_blk1(), l_blk1()}};
    for (const auto& r : raw) {
        if (!take(r.offset, r.length))
            return -1;
        *r.block = run;
    }
    return 0;
}

int GEImgHdr::header_size() const
{
    return version_key == GEUndefined ? GEUndefined : hdr_size;
}

int GEImgHdr::magic_offset(const int& key) { return CtrlFieldFileOffset(0, key); }
int GEImgHdr::hdr_length_offset(const int& key) { return CtrlFieldFileOffset(1, key); }

int GEImgHdr::p_ImgCtrl() const { return ImgCtrlOff.at(version_key); }
int GEImgHdr::l_ImgCtrl() const { return SubSecSize[kImgCtrlKey].at(version_key); }

int GEImgHdr::ctrl_offset(std::int32_t field) const
{
    // An unread control block gives -1 for every field; that is no offset.
    if (!ImgCtrlOff.has(version_key) || img_ctrl.size() == 0)
        return GEUndefined;
    const std::int64_t offset = std::int64_t(field) + ImgCtrlOff.at(version_key);
    return offset > INT_MAX ? GEUndefined : int(offset);
}

int GEImgHdr::ctrl_length(std::int32_t field) const
{
    return version_key == GEUndefined || img_ctrl.size() == 0 ? GEUndefined : field;
}

int GEImgHdr::p_blk1() const { return ctrl_offset(img_ctrl.p_blk1()); }
int GEImgHdr::l_blk1() const { return ctrl_length(img_ctrl.l_blk1()); }
int GEImgHdr::p_blk2() const { return ctrl_offset(img_ctrl.p_blk2()); }
int GEImgHdr::l_blk2() const { return ctrl_length(img_ctrl.l_blk2()); }
int GEImgHdr::p_blk3() const { return ctrl_offset(img_ctrl.p_blk3()); }
int GEImgHdr::l_blk3() const { return ctrl_length(img_ctrl.l_blk3()); }
int GEImgHdr::p_hist() const { return ctrl_offset(img_ctrl.p_hist()); }
int GEImgHdr::l_hist() const { return ctrl_length(img_ctrl.l_hist()); }
int GEImgHdr::p_blk4() const { return ctrl_offset(img_ctrl.p_blk4()); }
int GEImgHdr::l_blk4() const { return ctrl_length(img_ctrl.l_blk4()); }
int GEImgHdr::p_blk5() const { return ctrl_offset(img_ctrl.p_blk5()); }
int GEImgHdr::l_blk5() const { return ctrl_length(img_ctrl.l_blk5()); }
int GEImgHdr::p_blk6() const { return ctrl_offset(img_ctrl.p_blk6()); }
int GEImgHdr::l_blk6() const { return ctrl_length(img_ctrl.l_blk6()); }

int GEImgHdr::p_suite() const { return version_key == 1 ? img_ctrl.p_suite() : ImgSuiteOff.at(version_key); }
int GEImgHdr::p_exam() const { return version_key == 1 ? img_ctrl.p_exam() : ImgExamOff.at(version_key); }
int GEImgHdr::p_series() const { return version_key == 1 ? img_ctrl.p_series() : ImgSeriesOff.at(version_key); }
int GEImgHdr::p_image() const { return version_key == 1 ? img_ctrl.p_image() : ImgImageOff.at(version_key); }
int GEImgHdr::l_suite() const { return version_key == 1 ? img_ctrl.l_suite() : SubSecSize[kSuiteKey].at(version_key); }
int GEImgHdr::l_exam() const { return version_key == 1 ? img_ctrl.l_exam() : SubSecSize[kExamKey].at(version_key); }
int GEImgHdr::l_series() const
{
    return version_key == 1 ? img_ctrl.l_series() : SubSecSize[kSeriesKey].at(version_key);
}
int GEImgHdr::l_image() const
{
    return version_key == 1 ? img_ctrl.l_image() : SubSecSize[kImageKey].at(version_key);
}
