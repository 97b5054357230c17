#pragma once
// What every image reader shares: the steps that turn the values a reader found into a
// new image of the collection with its pixel file in the project folder, and the checks
// of patient name, exam date and geometry against the project's CSI sets.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Report.h"

class TImageSet;
class TMRImage;
class TProject;

// The values of one image as a reader found them.
struct TNewImage {
    std::string name;               // becomes one sanitised file-name component
    int width = 0;
    int height = 0;
    // Placed images get orientation, centre (0, 0), position, the rotation of their
    // angulation and their place in the work set's frame. An image that is not placed (raw
    // images, Genesis images without a plane normal) keeps the defaults of a new image and
    // gets only its position and field of view set.
    bool placed = true;
    int orientation = 0;            // 0 sagittal, 1 coronal, 2 axial
    // Info texts 0 exam name, 1 exam date, 2 patient name, 3 protocol, 4 direction code,
    // 5 patient position, 6 patient entry (an image without a direction code has "").
    std::string info[7] = {"n/a", "n/a", "n/a", "n/a", "", "n/a", "n/a"};
    float tr = 0.0f;                // ms
    float thickness = 0.0f;         // mm
    float te = 0.0f;                // ms
    float angulation[3] = {};       // degrees x, y, z
    float offCentre[3] = {};        // mm x, y, z
    float position[3] = {};         // mm x, y, z of the image centre
    float fov[2] = {};              // mm; a side that is not a positive number is not set
    // A reader that knows the world-to-image rotation of a placed image (from direction
    // cosines) sets it here with its inverse; otherwise the angulation's rotation is used.
    bool hasRotation = false;
    float rotation[9] = {};
    float inverseRotation[9] = {};
    std::vector<int16_t> pixels;    // width x height, row by row
    // How the reader's messages go out while a batch runs.
    vx::BatchPolicy policy = vx::BatchPolicy::Log;
};

// The direction code of an orientation: the letters ("R", "A", "H" for axes 0, 1, 2) of its
// two in-plane axes, "AH", "RH" or "RA"; "n/a" for another orientation.
std::string DirectionCodeOf(int orientation);

// The image readers' words for a file they refuse, shown with the exclamation icon under the
// reader's batch `policy`: a file that could not be opened (`notAFile`, TFile::NotAFile: what
// stood there instead of a file), one that holds `size` bytes of the `needed` that `need`
// ("its header and pixels need"), and one that failed while it was read with `error`
// (TFile::LastError).
void ReportImageNotOpened(const std::string& path, const std::string& notAFile,
                          vx::BatchPolicy policy = vx::BatchPolicy::Log);
void ReportImageCutShort(const std::string& path, int64_t size, int sizeError, uint64_t needed,
                         const std::string& need, vx::BatchPolicy policy = vx::BatchPolicy::Log);
void ReportImageReadFailed(const std::string& path, int error, vx::BatchPolicy policy = vx::BatchPolicy::Log);
// Why an image of `first` x `second` pixels is refused: more than TMRImage::kMaxSide a side.
std::string OversizedImageText(int64_t first, int64_t second);

// The pixel-file name of an image name: one path component, never a folder.
std::string ImageFileName(const std::string& name);
// True when an image of the collection has that name.
bool ImageNameExists(const TImageSet& images, const std::string& name);

// Makes the image, inserts it into the collection and writes its pixel file among the
// project's new files (TImageSet::AddNew), which the next project file saved puts in place
// with it. A placed image is located in the work set's frame and its centre turned into the
// standard view of its direction code, as every image is when the work set changes. False, with the cause reported, when its name (after sanitising) is taken, its
// size or pixel count is wrong, or the pixel file cannot be written; the collection is then
// as it was.
bool AddNewImage(TImageSet& images, TProject* pProject, TNewImage image);

// Checks of a new image against the project's CSI sets, in list order. A project without
// sets passes. On a difference: in batch mode the warning line goes to the batch log with
// the error flag and the next set is compared; otherwise the user is asked whether to go
// on, and No ends the check with false.
// The set's patient name is trimmed before the exact comparison.
bool CheckPatientNameAgainstSets(TProject* pProject, const std::string& patientName,
                                 const std::string& headerPath);
// The set's exam date is compared untrimmed.
bool CheckExamDateAgainstSets(TProject* pProject, const std::string& examDate,
                              const std::string& headerPath);
// Rotations agree when every element differs by less than 0.005. A Yes answer ends the
// comparison (one question at most); in batch mode every differing set gets its line.
bool CheckGeometryAgainstSets(TProject* pProject, const float rotation[9],
                              const std::string& headerPath);
// The GE DICOM checks: for each set in turn the exam number (the Study ID, against the
// set's patient-name field, which GE CSI sets use for the exam number) and then the exam
// date ("year.month.day", against the set's exam date trimmed).
bool CheckExamNumberAndDateAgainstSets(TProject* pProject, const std::string& examNumber,
                                       const std::string& examDate);
