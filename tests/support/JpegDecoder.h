#pragma once
// Decodes a JPEG file with libjpeg on its own, as an independent check of what the program
// wrote. Header-only: the test programs that use it link libjpeg through the core library.
#include <jpeglib.h>

#include <csetjmp>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace vx::test {

struct TDecodedJpeg {
    int width = 0;  // 0 when the file is missing or not a whole JPEG
    int height = 0;
    int components = 0;
    bool progressive = true;
    bool allQuantOnes = false;
    std::vector<unsigned char> rgb;  // width x height x 3
};

inline TDecodedJpeg DecodeJpeg(const std::string& path)
{
    struct TError {
        jpeg_error_mgr manager;
        std::jmp_buf jump;
    };
    TDecodedJpeg out;
    const std::string bytes = ReadBytes(path);
    if (bytes.empty())
        return out;
    jpeg_decompress_struct cinfo;
    TError error;
    cinfo.err = jpeg_std_error(&error.manager);
    // A corrupt file ends the decoding here instead of ending the program.
    error.manager.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<TError*>(c->err)->jump, 1); };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    out.progressive = cinfo.progressive_mode;
    out.allQuantOnes = true;
    for (int t = 0; t < 2; ++t) {
        if (cinfo.quant_tbl_ptrs[t] == nullptr)
            continue;
        for (int i = 0; i < DCTSIZE2; ++i)
            out.allQuantOnes = out.allQuantOnes && cinfo.quant_tbl_ptrs[t]->quantval[i] == 1;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.components = cinfo.output_components;
    out.rgb.resize(size_t(cinfo.output_width) * cinfo.output_height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + size_t(cinfo.output_scanline) * cinfo.output_width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

}  // namespace vx::test
