#pragma once
// Writes an enhanced metafile (EMF) that holds pictures as bitmaps: the header record with
// the picture's bounds and a description, one stretch-DIB record for each StretchDIBits,
// and the end-of-file record. The picture's size is taken at 96 dots per inch.
//
// The records are collected in memory and written by Close to a temporary file beside the
// target, which is then renamed over it; a file that cannot be created or written leaves
// no file behind and makes Close return false.
#include <cstdint>
#include <string>

#include "platform/TFile.h"

namespace vx {

class TEMFWriter {
public:
    static constexpr int kDotsPerInch = 96;

    // A picture of width x height pixels (both at least 1, else the writer fails). The
    // description holds the application's name; an empty picture name follows it.
    TEMFWriter(const std::string& path, int width, int height, const std::u16string& description);
    // Closes the file when still open.
    ~TEMFWriter();
    TEMFWriter(const TEMFWriter&) = delete;
    TEMFWriter& operator=(const TEMFWriter&) = delete;

    // One bitmap record: srcWidth x srcHeight pixels 0x00rrggbb (the top row first,
    // `stride` pixels a row) stretched over (x, y, width, height) of the picture and
    // copied over what lies there. Fails the writer when the sizes are not positive or
    // the record would not fit the format's 32-bit sizes.
    void StretchDIBits(int x, int y, int width, int height, const uint32_t* pixels, int srcWidth, int srcHeight,
                       int stride);
    // Ends the metafile and puts the file in place; false when it could not be written.
    bool Close();
    bool Failed() const { return m_failed; }

private:
    void Put32(uint32_t value);
    void Put16(uint16_t value);
    void PutRect(int32_t left, int32_t top, int32_t right, int32_t bottom);

    TAtomicFile m_file;
    std::string m_bytes;  // the records so far, little-endian
    uint32_t m_records = 0;
    bool m_open = false;
    bool m_failed = false;
};

}  // namespace vx
