#pragma once
// Header values of GE files as every GE reader turns them into set and image fields:
// the software version, exam texts, slice plane, patient position, the oblique rotation
// and the excited volume.
#include <cstdint>
#include <string>

#include "readers/ReaderHelpers.h"

class GEExamData;
class GEMRImgData;
class GERawHdr;
struct TCSIParams;

// Major software version: the two-character text read as a decimal integer from its
// start ("11" 11, "9x" 9, no digits 0).
int GESoftwareVersion(const GEExamData& exam);
// The exam number as the plain integer text ("4488"); the GE formats keep it as the
// patient name, which the project compares as the exam number.
std::string GEExamNumberText(const GEExamData& exam);
// The exam time (seconds since 1970) as the local date "yyyy.mm.dd".
std::string GEExamDateText(const GEExamData& exam);

// Slice axis (also the orientation) of a plane code: 2 axial, 4 sagittal, 8 coronal;
// 16 (oblique) takes the oblique plane code 18 axial, 20 sagittal, 24 coronal, and any
// other oblique code leaves `axis` as it is. False for any other plane code.
bool GESliceAxisOfPlane(int plane, int obliquePlane, int& axis);

// Head or feet first from the entry code (2 feet first, else head first) and the lying
// position from the position code (2 prone, 4 left decubitus, 8 right decubitus, else
// supine).
TPatientPosition GEPatientPosition(int32_t position, int32_t entry);

// Of an oblique plane: the set's patient-to-grid rotation that takes the image block's
// first two corners and its normal, relative to the set's off-centre, to the in-plane
// corners of the set's field of view and the slice direction. A system without a
// solution keeps the rotation; the inverse is then renewed. False when the rotation has
// no inverse.
bool GEObliqueRotation(const GEMRImgData& image, TCSIParams& set);

// Whether a sequence name (raw header text) names a localised acquisition: "press",
// "probe" or "steam", and also "prose" when `withProse`, in any case.
bool GESequenceSelectsVolume(const std::string& rawName, bool withProse);
// The excited volume of the image block as the set's one box, or no box: sizes and
// centre from the block's voxel fields (positions with x and y negated), angles 0.
void GESetVolume(const GEMRImgData& image, bool selected, TCSIParams& set);
// Centre of the excited volume, x and y negated.
void GEVolumeCentre(const GEMRImgData& image, float centre[3]);

// Series description, exam number and date, TR and TE (ms) of a raw header.
void GESetExamTexts(const GERawHdr& header, TCSIParams& set);
