#include "model/drawing/BitmapHelpers.h"

#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "platform/TFile.h"

namespace {

unsigned char Byte(double v) { return static_cast<unsigned char>(static_cast<int>(v)); }

}  // namespace

void GreyToRGB(unsigned char grey, int table, unsigned char& r, unsigned char& g, unsigned char& b)
{
    const int v = grey;
    switch (table) {
    case kColourGray:
        r = g = b = grey;
        break;
    case kColourHot:
        if (v < 96) {
            r = Byte(v * 2.65625);
            g = b = 0;
        } else if (v < 192) {
            r = 255;
            g = Byte((v - 96) * 2.65625);
            b = 0;
        } else {
            r = g = 255;
            b = Byte((v - 192) * 255 * 0.015625);
        }
        break;
    case kColourCool:
        r = grey;
        g = static_cast<unsigned char>(255 - v);
        b = 255;
        break;
    case kColourJet:
        if (v < 32) {
            r = g = 0;
            b = static_cast<unsigned char>(v * 4 + 128);
        } else if (v < 96) {
            r = 0;
            g = Byte((v - 32) * 3.984375);
            b = 255;
        } else if (v < 160) {
            r = Byte((v - 96) * 3.984375);
            g = 255;
            b = Byte(255 - (v - 96) * 3.984375);
        } else if (v < 224) {
            r = 255;
            g = Byte(255 - (v - 160) * 3.984375);
            b = 0;
        } else {
            r = static_cast<unsigned char>(255 - (v - 224) * 4);
            g = b = 0;
        }
        break;
    default:
        break;
    }
}

unsigned char GreyLevel(double value, double bottom, double top)
{
    const double range = top - bottom;
    if (!(std::fabs(range) >= 1e-16))
        return 0;
    const double level = (value - bottom) * 255.0 / range;
    if (!(level > 0.0))  // also NaN
        return 0;
    if (level >= 255.0)
        return 255;
    return static_cast<unsigned char>(level);
}

namespace {

// libjpeg reports fatal errors through error_exit, which must not return; the
// default one ends the process, so ours jumps back into CompressRgb instead.
struct TJpegErrorManager {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<TJpegErrorManager*>(cinfo->err)->jump, 1);
}

void IgnoreJpegMessage(j_common_ptr) {}

// Compresses packed RGB rows into a buffer that libjpeg allocates with malloc
// (*out, freed by the caller also after a failure). Only plain locals live in this
// frame, so the jump back from an error skips no destructor.
bool CompressRgb(const unsigned char* rgb, int width, int height, unsigned char** out,
                 unsigned long* outSize)
{
    jpeg_compress_struct cinfo;
    TJpegErrorManager error;
    cinfo.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = OnJpegError;
    error.mgr.output_message = IgnoreJpegMessage;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + cinfo.next_scanline * rowBytes);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// The largest side a baseline JPEG can hold.
constexpr int kMaxJpegSide = 65500;

}  // namespace

bool SaveBitmapAsJPEG(int width, int height, const uint32_t* pixels, const std::string& path)
{
    if (pixels == nullptr || width < 1 || height < 1 || width > kMaxJpegSide || height > kMaxJpegSide)
        return false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<unsigned char> rgb;
    try {
        rgb.resize(count * 3);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        rgb[3 * i] = static_cast<unsigned char>((p >> 16) & 0xff);
        rgb[3 * i + 1] = static_cast<unsigned char>((p >> 8) & 0xff);
        rgb[3 * i + 2] = static_cast<unsigned char>(p & 0xff);
    }

    unsigned char* buffer = nullptr;
    unsigned long jpegSize = 0;
    const bool compressed = CompressRgb(rgb.data(), width, height, &buffer, &jpegSize);
    const std::unique_ptr<unsigned char, decltype(&std::free)> jpeg(buffer, &std::free);
    if (!compressed || jpeg == nullptr)
        return false;
    return vx::WriteFileAtomically(path, std::string(reinterpret_cast<const char*>(jpeg.get()), jpegSize));
}
