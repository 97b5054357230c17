#include "gehdr/GERawHdr.h"

#include "gehdr/GEByteOrder.h"
#include "gehdr/GEFieldLayoutData.h"
#include "gehdr/GESource.h"
#include "gehdr/GEftype.h"

#include <iostream>

namespace {

constexpr const char* kAssign = "GERawHdr::assign: ";
constexpr const char* kCreate = "GERawHdr::create: ";

}  // namespace

GERawHdr::GERawHdr(const int& raw_version_key, const int& byte_order)
    : host_little(GEHostIsLittleEndian() ? 1 : 0),
      rdb_hdr(GEUndefined, GEUndefined),
      data_acq_tab(GEUndefined, GEUndefined),
      prescan_hdr(GEUndefined, GEUndefined),
      exam_data(GEUndefined, GEUndefined),
      series_data(GEUndefined, GEUndefined),
      mr_img_data(GEUndefined, GEUndefined)
{
    init(raw_version_key, byte_order);
}

int GERawHdr::init(const int& key, const int& order)
{
    raw_version_key = GEUndefined;
    img_version_key = GEUndefined;
    byte_order = order;
    swap = GESwapFlag(byte_order);
    hdr_bytes.clear();
    make_default(GEUndefined);
    if (!IsVersionKey(key) || !VerFile.has(key) || !RawImgVer.has(key))
        return -1;
    raw_version_key = key;
    img_version_key = RawImgVer.at(key);
    return make_default(key);
}

int GERawHdr::make_default(const int& key)
{
    if (!IsVersionKey(key) || VerFile.at(key) != GERawFile) {
        rdb_hdr.init(GEUndefined, GEUndefined);
        data_acq_tab.init(GEUndefined, GEUndefined);
        prescan_hdr.init(GEUndefined, GEUndefined);
        exam_data.init(GEUndefined, GEUndefined);
        series_data.init(GEUndefined, GEUndefined);
        mr_img_data.init(GEUndefined, GEUndefined);
        for (std::string* b : {&blk1a, &blk1b, &blk3a, &blk3b, &blk4})
            b->clear();
        return 0;
    }
    // Blocks are assigned with the header's own keys and byte order.
    const int raw = raw_version_key, img = img_version_key;
    if (int rc = rdb_hdr.assign(GEZeros(SubSecSize[kRdbHdrKey].at(key)), raw, byte_order))
        return rc;
    blk1a = blk1b = GEZeros(SubSecSize[kRawBlk1Key].at(key));
    if (int rc = data_acq_tab.assign(GEZeros(SubSecSize[kDataAcqTabKey].at(key)), raw, byte_order))
        return rc;
    blk3a = blk3b = GEZeros(SubSecSize[kRawBlk3Key].at(key));
    blk4 = GEZeros(SubSecSize[kRawBlk4Key].at(key));
    if (int rc = prescan_hdr.assign(GEZeros(SubSecSize[kPrescanKey].at(key)), raw, byte_order))
        return rc;
    const int partner = RawImgVer.at(key);
    if (int rc = exam_data.assign(GEZeros(SubSecSize[kExamKey].at(partner)), img, byte_order))
        return rc;
    if (int rc = series_data.assign(GEZeros(SubSecSize[kSeriesKey].at(partner)), img, byte_order))
        return rc;
    return mr_img_data.assign(GEZeros(SubSecSize[kImageKey].at(partner)), img, byte_order);
}

int GERawHdr::fail_assign()
{
    init(GEUndefined, GEUndefined);
    return -1;
}

int GERawHdr::assign(const std::string& source)
{
    init(GEUndefined, GEUndefined);
    std::ifstream file;
    const bool isFile = GEOpenSourceFile(source, file);
    const std::vector<int> type = GEftype(source);

    if (type[0] != GERawFile) {
        std::cerr << kAssign << "string " << GESourceForMessage(source) << " is not recognized as a raw file!\n";
        return fail_assign();
    }
    const int key = type[1];
    if (!VerFile.has(key)) {
        std::cerr << kAssign << "Version of " << key << " does not exist in " << "VerFile" << "\n";
        return fail_assign();
    }
    if (VerFile.at(key) != GERawFile) {
        std::cerr << kAssign << "Version of " << key << " is not associated " << "with a raw file" << "\n";
        return fail_assign();
    }
    if (!RawImgVer.has(key)) {
        std::cerr << kAssign << "No image version is associated with the " << "raw file version of " << key
                  << "\n";
        return fail_assign();
    }
    raw_version_key = key;
    img_version_key = RawImgVer.at(key);
    if (!RawHdrSz.has(key)) {
        std::cerr << kAssign << "Version " << key << " does not have an associated " << "RawHdrSz" << "\n";
        return fail_assign();
    }
    const int size = type[2];
    if (size != RawHdrSz.at(key)) {
        std::cerr << kAssign << "Passed string has length " << size << " expected " << RawHdrSz.at(key) << "\n";
        return fail_assign();
    }

    std::string header;
    if (isFile) {
        if (!GEReadHeaderBytes(file, size, size, source, header, kAssign))
            return fail_assign();
    } else if (source.size() < std::size_t(size)) {
        std::cerr << kAssign << "Passed string has length " << source.size() << " expected " << size << "\n";
        return fail_assign();
    } else {
        header = source.substr(0, std::size_t(size));  // the samples may follow
    }
    byte_order = type[3];
    swap = GESwapFlag(byte_order);
    hdr_bytes = header;
    return create(header) == 0 ? 0 : fail_assign();
}

int GERawHdr::create(const std::string& header)
{
    std::string run;
    auto take = [&](int offset, int length) { return GETakeRun(header, offset, length, run, kCreate); };

    const int raw = raw_version_key, img = img_version_key;
    if (!take(p_RdbHdr(), l_RdbHdr()))
        return -1;
    if (int rc = rdb_hdr.assign(run, raw, byte_order))
        return rc;
    if (!take(p_DataAcqTab(), l_DataAcqTab()))
        return -1;
    if (int rc = data_acq_tab.assign(run, raw, byte_order))
        return rc;
    if (!take(p_PrescanHdr(), l_PrescanHdr()))
        return -1;
    if (int rc = prescan_hdr.assign(run, raw, byte_order))
        return rc;
    if (!take(p_exam(), l_exam()))
        return -1;
    if (int rc = exam_data.assign(run, img, byte_order))
        return rc;
    if (!take(p_series(), l_series()))
        return -1;
    if (int rc = series_data.assign(run, img, byte_order))
        return rc;
    if (!take(p_image(), l_image()))
        return -1;
    if (int rc = mr_img_data.assign(run, img, byte_order))
        return rc;

    const struct {
        std::string* block;
        int offset, length;
    } raws[] = {{&blk1a, p_blk1a(), l_blk1()},
                {&blk1b, p_blk1b(), l_blk1()},
                {&blk3a, p_blk3a(), l_blk3()},
                {&blk3b, p_blk3b(), l_blk3()},
                {&blk4, p_blk4(), l_blk4()}};
    for (const auto& r : raws) {
        if (!take(r.offset, r.length))
            return -1;
        *r.block = run;
    }
    return 0;
}

int GERawHdr::size() const
{
    return int(hdr_bytes.size());
}

int GERawHdr::rev_offset(const int& key)
{
    const GELayout field = GEFieldLayoutFn<GERdbHdrLayouts, 0>(key);
    return RawRdbOff.has(key) && field[0] >= 0 ? RawRdbOff.at(key) + field[0] : GEUndefined;
}

int GERawHdr::p_RdbHdr() const { return RawRdbOff.at(raw_version_key); }
int GERawHdr::p_blk1a() const { return RawBlk1aOff.at(raw_version_key); }
int GERawHdr::p_blk1b() const { return RawBlk1bOff.at(raw_version_key); }
int GERawHdr::p_DataAcqTab() const { return RawAcqTabOff.at(raw_version_key); }
int GERawHdr::p_blk3a() const { return RawBlk3aOff.at(raw_version_key); }
int GERawHdr::p_blk3b() const { return RawBlk3bOff.at(raw_version_key); }
int GERawHdr::p_blk4() const { return RawBlk4Off.at(raw_version_key); }
int GERawHdr::p_PrescanHdr() const { return RawPrescanOff.at(raw_version_key); }
int GERawHdr::p_exam() const { return RawExamOff.at(raw_version_key); }
int GERawHdr::p_series() const { return RawSeriesOff.at(raw_version_key); }
int GERawHdr::p_image() const { return RawImageOff.at(raw_version_key); }
int GERawHdr::l_RdbHdr() const { return SubSecSize[kRdbHdrKey].at(raw_version_key); }
int GERawHdr::l_blk1() const { return SubSecSize[kRawBlk1Key].at(raw_version_key); }
int GERawHdr::l_DataAcqTab() const { return SubSecSize[kDataAcqTabKey].at(raw_version_key); }
int GERawHdr::l_blk3() const { return SubSecSize[kRawBlk3Key].at(raw_version_key); }
int GERawHdr::l_blk4() const { return SubSecSize[kRawBlk4Key].at(raw_version_key); }
int GERawHdr::l_PrescanHdr() const { return SubSecSize[kPrescanKey].at(raw_version_key); }
int GERawHdr::l_exam() const { return SubSecSize[kExamKey].at(img_version_key); }
int GERawHdr::l_series() const { return SubSecSize[kSeriesKey].at(img_version_key); }
int GERawHdr::l_image() const { return SubSecSize[kImageKey].at(img_version_key); }
