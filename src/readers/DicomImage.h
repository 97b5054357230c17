#pragma once
// DICOM MR images, one image per file, read with DCMTK: image type 4 ("Standard DICOM
// file") and image type 2 (GE DICOM of software release 11 and later). The standard
// attributes give size, pixels and the patient geometry; the direction cosines of the rows
// and columns give the orientation and the rotation between patient and image axes.
// A file these readers cannot use is refused silently: false, nothing added.
#include <string>

#include "model/TImageImportParams.h"

class TImageSet;
class TProject;

// The image readers of types 4 and 2. The GE reader also compares the Study ID (as exam
// number) and the Study Date with the project's CSI sets before it reads the pixels, and
// keeps the Study ID as the image's patient text. The import record is not used.
bool ReadDicomImage(TImageSet& images, const std::string& path, TImageImportParams params,
                    TProject* pProject);
bool ReadGEDicomImage(TImageSet& images, const std::string& path, TImageImportParams params,
                      TProject* pProject);
