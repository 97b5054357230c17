#pragma once
// Siemens MAG images (image type 3): one square image of signed 16-bit little-endian pixels
// from byte 8192 on, behind a header of texts at fixed offsets: the signature "SIEMENS" at
// 128, the exam and protocol names at 468 and 7401, and from 7412 on eleven-byte fields
// "TR <ms>", "TE <ms>", two unused ones, "FOV <mm>", "M <rows>*<columns>", "Thk <mm>",
// "Pos <mm>" and the orientation ("Sag", "Cor" or "Tra"). The image is not checked against
// the project's CSI sets and uses none of the Import dialog's numbers.
#include <string>

#include "model/TImageImportParams.h"

class TImageSet;
class TProject;

// The image reader of type 3. A wrong signature is shown in a plain box, also during a
// batch run; every other fault of the file returns false without a message.
bool ReadSiemensMAG(TImageSet& images, const std::string& path, TImageImportParams params, TProject* pProject);
