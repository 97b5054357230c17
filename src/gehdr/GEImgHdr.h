#pragma once
// Header of one GE Genesis image file, cut into its blocks.
//
// A reader constructs it blank (-1, -1), hands it the file name through
// assign(), takes header_size() as the offset of the pixels and reads fields
// through the block members. The blocks' places depend on the image version
// key (1, 3, 6, 7, 9 or 11); for key 1 the control block gives them. Failures
// are one-line messages on stderr and a result of -1; a malformed file never
// ends the process and leaves the header blank.
#include "gehdr/GEExamData.h"
#include "gehdr/GEHistData.h"
#include "gehdr/GEImgCtrl.h"
#include "gehdr/GEMRImgData.h"
#include "gehdr/GESeriesData.h"
#include "gehdr/GESuiteData.h"

#include <cstdint>
#include <string>

class GEImgHdr {
public:
    // Largest header assign() accepts from a file; real headers are a few KiB.
    static constexpr std::int64_t kMaxHeaderBytes = 1 << 20;

    GEImgHdr(const int& version_key, const int& byte_order);

    // Blank header; for an image key a zero-filled header of that version
    // with its defaults. 0, or -1 for a key that is no version key.
    int init(const int& version_key, const int& byte_order);
    // Reads and splits the header of the file named `source` (or of the
    // header bytes `source`): 0, or -1 with the header left blank.
    int assign(const std::string& source);
    // Where the pixels begin; -1 while no header is loaded.
    int header_size() const;
    int make_default(const int& version_key);
    // Splits header bytes of exactly header_size() bytes into the blocks.
    int create(const std::string& header);

    // File offsets of the magic word and of the header-length word of a
    // version's control block; -1 for a key without a control block.
    static int magic_offset(const int& version_key);
    static int hdr_length_offset(const int& version_key);

    // Places (file offsets) and lengths of the blocks for this header's
    // version; -1 when the version has none or the control block is unread.
    int p_ImgCtrl() const;
    int l_ImgCtrl() const;
    int p_blk1() const;
    int l_blk1() const;
    int p_blk2() const;
    int l_blk2() const;
    int p_blk3() const;
    int l_blk3() const;
    int p_hist() const;
    int l_hist() const;
    int p_blk4() const;
    int l_blk4() const;
    int p_blk5() const;
    int l_blk5() const;
    int p_blk6() const;
    int l_blk6() const;
    int p_suite() const;
    int l_suite() const;
    int p_exam() const;
    int l_exam() const;
    int p_series() const;
    int l_series() const;
    int p_image() const;
    int l_image() const;

    int version_key = GEUndefined;  // image version key; -1 while none is loaded
    int byte_order = GEUndefined;   // 0 big-endian, 1 little-endian, -1 none
    int host_little;                // 1 on a little-endian host
    int swap = 0;                   // 1 when the file's byte order differs from the host's
    std::string hdr_bytes;          // the header bytes as read
    int hdr_size = GEUndefined;     // header length in bytes as identified

    GEImgCtrl img_ctrl;
    std::string blk1;  // blocks without fields, carried as bytes
    std::string blk2;
    std::string blk3;
    GEHistData hist_data;
    std::string blk4;
    std::string blk5;
    std::string blk6;
    GESuiteData suite_data;
    GEExamData exam_data;
    GESeriesData series_data;
    GEMRImgData mr_img_data;

private:
    int fail_assign();
    // A control-block offset field made a file offset; -1 when unreadable.
    int ctrl_offset(std::int32_t field) const;
    int ctrl_length(std::int32_t field) const;
    void blank_blocks();
};
