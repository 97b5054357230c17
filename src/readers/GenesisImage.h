#pragma once
// GE Genesis images (image type 1, "GE Genesis (pre 11)"): one 2-D image behind a
// versioned binary header that the GE header library splits into its blocks. The pixels
// follow the header directly as width x height signed 16-bit values in the file's byte
// order. The image is placed by its plane normal, slice location and centre; it is not
// checked against the project's CSI sets and uses none of the Import dialog's numbers.
#include <string>

#include "model/TImageImportParams.h"

class TImageSet;
class TProject;

// The image reader of type 1. Its messages are shown in a box, also during a batch run;
// a file that cannot be opened or is shorter than its header and pixels is refused
// without a message.
bool ReadGenesisImage(TImageSet& images, const std::string& path, TImageImportParams params, TProject* pProject);
