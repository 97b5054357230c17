#pragma once
// The analyses' part of the project file. It follows the CSI set records and is written
// only when the project has analyses, so a project without any keeps the plain layout
// (and a file that ends after its sets has none):
//
//   tag "VXAN" (int32 0x4E415856), count (int32), then per analysis:
//   kind (int32: 0 PCA, 1 NMF), body length in bytes (int32), the name of its CSI set (text),
//   then the body of TAnalysis::WriteRecord.
//
// Texts end with a zero byte; every other field is a little-endian 4-byte word.
#include <cstdint>
#include <vector>

namespace vx {
class TFile;
}

class TAnalysis;
class TProject;

constexpr int32_t kAnalysisSectionTag = 0x4E415856;

// False when a write failed.
// The project's analyses, then the records kept with its sets kept aside, as they were read.
bool WriteAnalysisRecords(vx::TFile& file, const TProject& project);
// Reads the part when the file holds it and appends the analyses to the project; a
// complete record of a kind this program does not know, whose set is not in the project
// or whose body does not read is left out and told of once; one of a set kept aside
// (TCSISetList::KeptRecords) is kept with it. False, with no analysis
// added, when the part is cut short or damaged, or anything but one whole part follows
// the sets (the file is damaged). A file that ends with the sets holds no analyses.
bool ReadAnalysisRecords(vx::TFile& file, TProject& project);
