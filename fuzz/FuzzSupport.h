#pragma once
// Shared pieces of the fuzz programs: silent reports, one worker and a scratch folder per process.
#include <array>
#include <cstdarg>
#include <cstddef>
#include <complex>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/TCSIParams.h"

class TCSISet;
struct TCSIReadParams;
class TImageSet;
class TMRImage;
struct TImageImportParams;

namespace vx::fuzz {

// Installs a report handler that shows nothing and gives the default answers, and runs
// every whole-set operation on one worker: a fuzz process is one core's work.
void Prepare();
// How many messages were shown (or written to the batch log) since Prepare().
int ReportCount();
// Forgets the texts of the messages shown so far (the last 256 are kept).
void ClearReportTexts();
// Whether a message shown since ClearReportTexts holds `text`, and every one that names
// the path `text` (not as the start of a longer name) also holds `with` (when given).
bool Reported(std::string_view text);
bool EveryReportNaming(std::string_view text, std::string_view with);
// Whether a message shown since ClearReportTexts names the path `path` (not as the start of
// a longer name).
bool ReportedPath(std::string_view path);
// Puts something other than a file at `path` (whatever stood there is removed): kind 0 a
// FIFO, 1 a folder, 2 a symbolic link to a FIFO of the scratch folder. Returns how an open
// names what it finds there ("a FIFO", "a folder"), or empty when it could not be made.
std::string PutSpecialFile(const std::string& path, int kind);
// A folder of this process for the files a reader is given.
const std::string& ScratchFolder();
// Writes bytes to a file of the scratch folder and returns its path.
std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size);
std::string WriteScratch(const std::string& name, std::string_view bytes);
// The same for a companion file that an empty part leaves out: no file of that name then.
std::string WriteScratchOrRemove(const std::string& name, std::string_view bytes);

// Takes the first byte of an input (the harness's choices) into `byte`; false for an
// empty input.
bool TakeByte(const uint8_t*& data, size_t& size, uint8_t& byte);

// Splits an input into `count` parts that the fuzzer can change one by one: the first
// 2 * (count - 1) bytes give the lengths of the first count - 1 parts (16 bits each,
// little-endian; cut at the input's end), and the last part is the rest. Fewer bytes
// than the lengths take give empty parts.
std::vector<std::string_view> Sections(const uint8_t* data, size_t size, int count);
// The input that Sections splits into `parts` (each but the last at most 65535 bytes).
std::string PackSections(const std::vector<std::string>& parts);
// Whether a name an input gives a file of the scratch folder keeps to one short plain
// component (letters, digits, "_", "-", "."), so that the file stays where it is meant to.
bool UsableName(std::string_view name);

// The values a target writes a file from, taken from its input: each call takes the
// next bytes (zero past the input's end), so that every input chooses a file and a small
// change of the input changes one value.
class TChosen {
public:
    TChosen(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t Byte();
    // 16 bits, little-endian.
    uint16_t Word();
    // One of `count` (at most 256) choices.
    int Pick(int count) { return Byte() % count; }
    // 2 to 64 points, a power of two: a length every transform takes.
    int Points() { return 1 << (1 + Pick(6)); }
    // One of eight sweep widths of 500 to 8000 Hz, whole numbers as every header keeps them.
    int SweepWidth();
    // A number of both signs, exact in a float and in a short decimal text: a byte as -128
    // to 127, divided by `scale` (a power of two).
    float Signed(float scale) { return SignedOf(Byte(), scale); }
    static float SignedOf(uint8_t byte, float scale) { return float(int8_t(byte)) / scale; }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// The letters and digits of the first `length` characters of `text`, or `fallback` when
// it has none: a text every header line and token keeps as it stands.
std::string ChosenText(std::string_view text, size_t length, std::string_view fallback);
// Number k of the samples an input gives: its 16-bit little-endian number k (zero past its
// end); as a sample value divided by 16, which floating-point samples hold exactly.
int16_t ChosenWord(std::string_view bytes, size_t k);
float ChosenSample(std::string_view bytes, size_t k);
// The text printf writes for `format` and the values (at most 255 characters).
std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Stops the run, naming the check on the error output, when `ok` is false.
void Require(bool ok, const char* check);
// Whether a message shown since ClearReportTexts, or the batch log, holds `text`.
bool Said(std::string_view text);
// The same for the batch log's text after its first `logged` bytes.
bool SaidSince(size_t logged, std::string_view text);

// The call of the file layer that an input makes fail on the roads into a project (its
// listing or read fault): a listing, its open or a read of its entries (kFileList), a read
// of an open file (kFileRead), a size look-up (kFileSize) or an open to read
// (kFileOpenRead), at its first to 16th call, with EIO. Picked by a hash
// of all the input's bytes, so that every input tries one and a change of any byte tries
// another; each target plans it from its input before it takes a road.
void PlanFault(const uint8_t* data, size_t size);
// Runs `call` with the planned fault armed; true when it made a call fail.
bool FailingAsPlanned(const std::function<void()>& call);
// Whether voxel `voxel` of a loaded set holds the `points` samples of `expected`, to the bit.
bool VoxelHolds(const TCSISet& set, size_t voxel, const std::complex<float>* expected, int points);
// The average of frames `first` to `frames` - 1 of a file of frames of `points` complex
// samples, one frame after the other: `value(k)` is its sample value k (real, imaginary,
// real, ...). Summed in double, each part divided by the frame count and made a float.
std::vector<std::complex<float>> FrameAverage(int points, int first, int frames,
                                              const std::function<double(size_t)>& value);
// Whether a voxel holds `points` samples, each Near the expected one (real and imaginary
// parts), for samples that arithmetic in floats made.
bool VoxelNear(const TCSISet& set, size_t voxel, const std::complex<double>* expected, int points);

// Row and column directions of a grid or an image, orthonormal, chosen by a byte: a pair of
// the axes' unit vectors with both signs (24 of 32), or one of eight pairs turned by the
// angle whose cosine is 0.6 or 0.8, in and out of the patient's planes.
void ChosenDirections(uint8_t byte, float row[3], float column[3]);
// The geometry that a grid's or an image's row and column directions give it by the
// vendors' common mapping: the slice axis along which they run least (the lower axis of
// equal sums of |r| and |c|: 0 sagittal, 1 coronal, 2 axial) and the normal (c x r for a
// coronal plane, else r x c); and the rotation that turns r, c and the normal onto the
// axes of the orientation's standard view (S [r c n]^-1), the axial view turned by the
// patient-direction labels `axialLabels` ("RA" none, "LP", "PR", "AL") as the labels turn
// a point into that view.
struct TPlaneGeometry {
    int sliceAxis = 2;
    float normal[3] = {};
    double rotation[3][3] = {};
};
TPlaneGeometry PlaneGeometry(const float row[3], const float column[3], const std::string& axialLabels);
// Whether a float is within a relative 1e-4 of a value derived in double precision.
bool Near(double value, double expected);
// The rotation of three angulation angles (degrees, in the set's axis order) by the
// common convention, row by row: with a, b, c the angles, (cb cc, cc sb sa + ca sc, sa sc
// - cc sb ca), (-cb sc, ca cc - sa sb sc, ca sb sc + cc sa), (sb, -cb sa, ca cb).
std::array<double, 9> AngulationRotation(const float angles[3]);
// The same by the other order of the elementary rotations (that of SPAR angulations), row
// by row: (sa sb sc + cb cc, ca sc, cb sc sa - cc sb), (cc sb sa - cb sc, ca cc, cb cc sa +
// sb sc), (ca sb, -sa, ca cb).
std::array<double, 9> SparAngulationRotation(const float angles[3]);
// Stops the run unless a set's rotation is `rotation` (row by row) and its inverse the
// transpose, each element Near.
void CheckRotation(const TCSISet& set, const std::array<double, 9>& rotation);

// What an image that a target wrote from chosen values must hold by its format's mapping:
// name, size, orientation, the seven info texts (exam name, exam date, patient name,
// protocol, direction labels, patient position and entry), fields of view, the centre
// (x, y, z), angulation and off-centre, TR, TE and slice thickness, the world-to-image
// rotation (row by row; its inverse must be its transpose) and the pixels row by row.
struct TExpectedImage {
    std::string name;
    int width = 1, height = 1, orientation = 2;
    std::string texts[7] = {"n/a", "n/a", "n/a", "n/a", "", "n/a", "n/a"};
    float fov[2] = {}, angulation[3] = {}, offCentre[3] = {}, tr = 0, te = 0, thickness = 0;
    double position[3] = {}, rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<int> pixels;
};
// Stops the run unless the image holds them (the centre and the rotation Near the values,
// all else to the bit).
void CheckImage(TMRImage& image, const TExpectedImage& expected);
// The image of that name in a collection; the run stops when there is none.
TMRImage& ImageNamed(TImageSet& images, const std::string& name);

// The values of an MR image in a DICOM file: rows and columns, bits (8 or 16), the
// transfer syntax (the DICOM library's E_TransferSyntax), the first pixel's position, the
// row and column directions, the spacings between rows and between columns, the patient
// position code (none when empty), TR, TE, slice thickness, the study's number and date,
// the patient's name and the pixels, row by row.
struct TDicomImageValues {
    int rows = 1, columns = 1, bits = 16, syntax = 0;
    float position[3] = {}, row[3] = {}, column[3] = {}, spacing[2] = {1, 1};
    float tr = 0, te = 0, thickness = 0;
    std::string code, studyId, studyDate, patientName;
    std::vector<int> pixels;
};
// Writes them through the DICOM library as an MR image of study description "Chosen
// study" and protocol "chosen"; false when the library refuses them.
bool WriteDicomImage(const TDicomImageValues& image, const std::string& path);

// Appends a float as a Philips SDAT file keeps it (VAX F): the two 16-bit halves exchanged
// and the byte of the sign and high exponent bits raised by one.
void PutVax(std::string& file, float value);

// The spectral values and texts that every Philips SPAR file gives its reader, chosen as
// TChosen takes them: points, sweep width, frequency (written in Hz), TE and TR in 1/16
// and 1/8 ms, averages, the patient's and examination's names (`name` and `exam`, their
// letters and digits), which end enters first, how the patient lies, and the nucleus.
struct TSparSpectrum {
    int points = 0, width = 0, averages = 0;
    uint32_t hertz = 0;
    float frequency = 0, te = 0, tr = 0;
    std::string patientName, examName, position, orientation, nucleus;
};
TSparSpectrum ChosenSparSpectrum(TChosen& chosen, std::string_view name, std::string_view exam);
// Their "key : value" lines, each ending in a carriage return and line feed.
std::string SparSpectrumLines(const TSparSpectrum& spectrum);
// Stops the run unless the set holds them by the SPAR parser's mapping.
void CheckSparSpectrum(const TCSISet& set, const TSparSpectrum& spectrum);

// A Philips PAR/REC pair of images written from chosen values: a header of version 4 or 3
// with its texts, TR, angulation and off-centre ((ap, fh, rl) triples as the file gives
// them), the field of view (version 3) and the dialog's position shifts (x, y, z); and
// one to three image lines with their sizes, bits, slice orientations, off-centres,
// spacings, thicknesses, echo times and pixels.
struct TChosenImageLine {
    int width = 1, height = 1, bits = 16, sliceOrientation = 1;
    float offCentre[3] = {}, spacing[2] = {1, 1}, thickness = 0, te = 0;
    std::string index;
    std::vector<int> pixels;
};
struct TChosenParRec {
    int version = 4;
    float tr = 0, angulation[3] = {}, offCentre[3] = {}, fov[3] = {}, shift[3] = {};
    std::string patientName, examName, date;
    std::vector<TChosenImageLine> lines;
};
// Takes the number of images (1 to 3), TR, the angulation (-16 to 15.875 degrees) and
// off-centre (-64 to 63.5 mm) of the header, its field of view, the position shifts (zero
// without `shifts`, the byte taken all the same), the patient's and the examination's
// names and the date; then for each line a size byte (width and height 1 to 8; version 3
// takes the first line's, the header's "Recon resolution"), bits and orientation, three
// off-centre bytes, two spacing bytes, thickness and echo time; then the pixels.
TChosenParRec ChosenParRec(TChosen& chosen, int version, bool shifts);
// The PAR text as the scanner's export writes it, and the REC file: each line's pixels one
// block after the other, bytes or little-endian words.
std::string ParRecText(const TChosenParRec& pair);
std::string RecBytes(const TChosenParRec& pair);

// A loaded set whose voxels hold a decaying line at a voxel-dependent frequency (the
// caller owns it; null when its voxels cannot be allocated).
TCSISet* LoadedSet(int nx, int ny, int nz, int points);

// Every file and folder below a folder by its path relative to it: folders with no
// bytes, files with their contents; each with its permission bits, owner and group, so
// that a file put in place of another with other rights is seen as changed.
struct TTreeEntry {
    bool folder = false;
    std::string bytes;
    unsigned mode = 0, owner = 0, group = 0;
    bool operator==(const TTreeEntry&) const = default;
};
using TTree = std::map<std::string, TTreeEntry>;
TTree Snapshot(const std::string& folder);
// A group other than this process's, which the targets give some of their files (on the
// file's descriptor) so that a file put in place of one of them must keep it.
unsigned OtherGroup();
// Gives the file or folder at `path` (links not followed) that group and `mode`'s
// permission bits where `mode` is not -1, through a descriptor of its own; false where it
// cannot be opened or the system refuses (an ordinary user outside that group).
bool GiveRights(const std::string& path, unsigned group, int mode = -1);

// A set's parameters and samples (none for a voxel without data), kept beyond the set and
// its project.
struct TSetContents {
    TCSIParams params;
    std::vector<bool> hasData;
    std::vector<std::vector<std::complex<float>>> samples;
};
TSetContents ContentsOf(const TCSISet& set);
// What the project and data-set files keep of a set (its parameters, broadenings, per-slice
// phases and texts, and the samples of voxels that hold them in both) and of an image (its
// record; not its pixels), to the bit.
bool SameSet(const TSetContents& a, const TCSISet& b);
bool SameSet(const TCSISet& a, const TCSISet& b);
// Whether a set has the grid and point count of `contents` and each voxel its samples (or
// none where it had none), to the bit.
bool HoldsSamples(const TSetContents& contents, const TCSISet& set);
bool SameImage(const TMRImage& a, const TMRImage& b);

// Takes a set a reader read from `path` with `params` on the road of Add CSI Set: a new
// project adds the file as the program adds it (the check of what a project file can
// list, the data-set file, the project file that lists it), is saved and opened again.
// The set must come back as it was read, or the add must be refused with a message
// before anything is written in the project's folder. An add that was made is made once
// more in a new project with the planned listing or read failing (PlanFault): where the
// fault met a call, the add must be refused with a message that names the file or a
// folder, with nothing written, or come back after a save and an open as it was read (with
// the grid and samples it was read with, where a message names what the reader went
// without); where it met none, the set is added again, as it was read. Otherwise the run
// stops. With `listable` (a file the target wrote from values a project lists: grid,
// fields of view, frequency, sweep width, points, echo position and slice axis in range,
// a rotation with an inverse) the first add must be made.
void AddThroughProject(const TCSISet* read, const std::string& path, const TCSIReadParams& params,
                       bool listable = false);

// Takes CSI files on the road of Add Exam with exam type `examType` into a new project:
// the dialog's entries, "[folder]" or files, and the paths of the CSI files the exam is to
// read (those its patterns match, when a folder's images are there to be matched). Each
// of them gives a set that, after a save and an open, holds what its reader reads from
// the file with the exam type's parameters (TProject::ExamTypeParams) alone, or is named
// in the message of the files that failed (or in a question about it); one that a project
// can list is added unless its rotation disagrees with an image's of the exam and, outside
// a batch run, the question that says so, asked once of it (and of no set that agrees),
// gets the answer No (its default) or, with `addDespiteGeometry`, Yes. Then once more in
// a new project with the planned listing or read failing: where the fault met a call, a
// message names the file or a folder, each file is added as before (or where the fault
// kept out the image whose geometry kept out its set) or named, and an exam
// that added nothing left the project's folder as it was. Otherwise the run stops.
void AddExamThroughProject(const std::vector<std::string>& entries, int examType,
                           const std::vector<std::string>& csiFiles, bool addDespiteGeometry = false);

// The first `count` pixels of a pixel file as the program writes them (16-bit
// little-endian, row by row), read without the image's own reader; false when the file
// holds fewer.
bool PixelsOfFile(const std::string& path, size_t count, std::vector<int16_t>& pixels);

// How an image file reaches a project: Add Images, or Add Exam given the file or (in
// brackets) its folder.
enum class TImageRoad { AddImages, ExamFile, ExamFolder };
// Takes an image file on that road into a new project: the reader, the image records and
// the pixel files staged with the project's new files. Every image added must hold the
// pixels its staged file holds, and come back with its record and those pixels after a
// save and an open in another project; an add that adds no image must leave the project's
// folder as it was. Then once more in a new project with the planned listing or read
// failing (PlanFault): where the fault met a call, a message names the file or a folder,
// and only images added before are added, with the same pixels (none: the folder as it
// was); where it met none, the same images are added. Otherwise the run stops.
// `examType` is Add Exam's (ExamFile and ExamFolder only); `expected`, when given, checks
// the images of the first add (a target that wrote the file from values it chose).
void AddImagesThroughProject(const std::string& path, const TImageImportParams& params, TImageRoad road,
                             int examType = 0, const std::function<void(TImageSet&)>& expected = {});

// The lines of a text, split at line feeds (a last line without one too).
std::vector<std::string> Lines(const std::string& text);
// The fields of a line, split at tabs.
std::vector<std::string> TabFields(const std::string& line);
// A size and checksum as a journal of the present layout records them ("size:sum"), the
// size as a number; nothing when the text is not one.
std::optional<std::pair<int64_t, std::string>> ContentIdentity(const std::string& text);

// What a journal of the present layout records of a staged file holding `bytes`:
// "size:sum", the sum two 64-bit values in 32 lower-case hex digits, taken over the bytes
// as little-endian 64-bit words, the last one filled up with zeros.
std::string JournalContentIdentity(std::string_view bytes);
// Whether the journal at `journal` (a path of `before`, a file the target wrote) is one an
// open must complete: whole (every line ending in a line feed, the last "end"), of the
// layout its place holds (the earlier beside the files, the others in the work folder),
// every line one its layout writes, each target a plain name (UsableName) changed once and
// no folder, each staged file named for its target, there, and as its line records it (its
// size, and in the present layout its JournalContentIdentity).
bool IsWholeJournal(const TTree& before, const std::string& journal);

// A file a completed journal names, as it leaves it: the bytes it holds (none: the file is
// gone) and, where a line of the present layout put it in place, the size and checksum
// that line records of it.
struct TJournalOutcome {
    std::optional<std::string> bytes;
    unsigned mode = 0, owner = 0, group = 0;  // a rename keeps the staged file's rights
    std::string identity;
};
// Makes the lines of the journal at `journal` of a folder as `before` holds it (its paths
// relative to one root) on `outcomes` (by such path; a file not there yet is as it was
// before), in their order: a staged file there goes to its target, one that is gone was
// put in place already. False when a line is not one that a journal of its layout holds,
// or names a new file that is nowhere: such a journal is never to be completed. A journal
// of the earlier layout stages its files beside itself, the others in their work folder.
bool CompleteJournal(const TTree& before, const std::string& journal, std::map<std::string, TJournalOutcome>& outcomes);

}  // namespace vx::fuzz
