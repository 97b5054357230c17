#pragma once
// Header of one GE raw-data file (P-file), cut into its blocks.
//
// A reader constructs it blank (-1, -1), hands it the file name through
// assign(), finds the first sample at size() and reads fields through the
// block members. Every raw layout (keys 0, 2, 4, 5, 8, 10) embeds exam,
// series and image blocks in the layout of its image partner key. Failures
// are one-line messages on stderr and a result of -1; a malformed file never
// ends the process and leaves the header blank.
#include "gehdr/GEDataAcqTab.h"
#include "gehdr/GEExamData.h"
#include "gehdr/GEMRImgData.h"
#include "gehdr/GEPrescanHdr.h"
#include "gehdr/GERdbHdr.h"
#include "gehdr/GESeriesData.h"

#include <string>

class GERawHdr {
public:
    GERawHdr(const int& raw_version_key, const int& byte_order);

    // Blank header; for a raw key a zero-filled header of that version.
    // 0, or -1 for a key that is no raw version key.
    int init(const int& raw_version_key, const int& byte_order);
    // Reads and splits the header of the file named `source` (or of the
    // bytes `source`, of which the header's length is used): 0, or -1 with
    // the header left blank.
    int assign(const std::string& source);
    // Number of header bytes held: the layout's header size after a
    // successful assign(), 0 before.
    int size() const;
    int make_default(const int& raw_version_key);
    // Splits header bytes into the blocks; every block must lie inside them.
    int create(const std::string& header);

    // File offset of the revision word for a raw key; -1 for other keys.
    static int rev_offset(const int& raw_version_key);

    // File offsets and lengths of the blocks for this header's version; -1
    // when the version has none.
    int p_RdbHdr() const;
    int p_blk1a() const;
    int p_blk1b() const;
    int p_DataAcqTab() const;
    int p_blk3a() const;
    int p_blk3b() const;
    int p_blk4() const;
    int p_PrescanHdr() const;
    int p_exam() const;
    int p_series() const;
    int p_image() const;
    int l_RdbHdr() const;
    int l_blk1() const;
    int l_DataAcqTab() const;
    int l_blk3() const;
    int l_blk4() const;
    int l_PrescanHdr() const;
    int l_exam() const;
    int l_series() const;
    int l_image() const;

    int raw_version_key = GEUndefined;  // -1 while no header is loaded
    int img_version_key = GEUndefined;  // layout of the exam, series and image blocks
    int byte_order = GEUndefined;       // 0 big-endian, 1 little-endian, -1 none
    int host_little;                    // 1 on a little-endian host
    int swap = 0;                       // 1 when the file's byte order differs from the host's
    std::string hdr_bytes;              // the header bytes as read

    GERdbHdr rdb_hdr;
    std::string blk1a;  // blocks without fields, carried as bytes
    std::string blk1b;
    GEDataAcqTab data_acq_tab;
    std::string blk3a;
    std::string blk3b;
    std::string blk4;
    GEPrescanHdr prescan_hdr;
    GEExamData exam_data;
    GESeriesData series_data;
    GEMRImgData mr_img_data;

private:
    int fail_assign();
};
