#pragma once
// Bruker images (image type 5, "Bruker (2dseq file)"): a stack of slices that the scanner's
// reconstruction wrote into a file named "2dseq", W x H signed 16-bit little-endian pixels
// a slice and no header, placed by the experiment's "method" file, which the user names.
// Each slice becomes one image of the collection.
#include <string>

#include "model/TImageImportParams.h"

class TImageSet;
class TProject;

// The image reader of type 5; no word of the import record is used. A method file that
// cannot be read or cannot place the slices, and a 2dseq file too short for them, are
// refused with a message that says why; images of slices read before a failure stay in
// the collection.
bool ReadBruker2dseqImage(TImageSet& images, const std::string& path, TImageImportParams params,
                          TProject* pProject);
