#pragma once
// Raw images (image type 6, "Unknown file type"): one image of 16-bit signed samples in a
// file whose layout the user states in the Import dialog: header bytes to skip, width,
// height and byte order. The file carries no geometry; the image keeps the defaults of a
// new image and is not placed against the CSI sets.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/TImageImportParams.h"

class TImageSet;
class TProject;

// count 16-bit samples from 2 x count bytes: big-endian when bigEndian is set, else
// little-endian.
std::vector<int16_t> DecodeRawSamples(const unsigned char* data, size_t count, bool bigEndian);

// The image reader of type 6. Its messages are shown in a box also during a batch run.
bool ReadRawImage(TImageSet& images, const std::string& path, TImageImportParams params,
                  TProject* pProject);
