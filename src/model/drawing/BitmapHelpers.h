#pragma once
// Pictures leaving the program and grey levels becoming colours.
#include <cstdint>
#include <string>

// Colour tables for maps and colour plots.
enum TColourTable { kColourGray = 0, kColourHot = 1, kColourCool = 2, kColourJet = 3 };

// Maps a grey level to a colour of one of the tables 0 "Gray", 1 "Hot", 2 "Cool",
// 3 "Jet". Any other table leaves r, g and b as they are.
void GreyToRGB(unsigned char grey, int table, unsigned char& r, unsigned char& g, unsigned char& b);

// The grey level of a value on the scale bottom..top: 0 at the bottom, 255 at the
// top, clamped to 0..255; 0 when the scale is empty or the value is not a number.
unsigned char GreyLevel(double value, double bottom, double top);

// Writes width x height pixels (row by row from the top, 32 bits each: red in bits
// 16-23, green 8-15, blue 0-7) as an RGB JPEG of quality 100. The file is replaced
// only when the whole picture was written; false (and no file) for an empty or
// oversized picture or a write failure. Reports nothing itself.
bool SaveBitmapAsJPEG(int width, int height, const uint32_t* pixels, const std::string& path);
