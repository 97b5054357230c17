#pragma once
// What the nine Philips CSI readers share: 2-D single-slice, 2-D multi-slice and 3-D
// data, each of three scanner software generations ("Pre R11": SPAR with LIST/DATA raw
// data, or SPAR/SDAT for the single slice; "R11": SPAR/SDAT k-space data, per slice or
// partition for the stacks; "R2": SPAR/SDAT data already in image space).
//
// The steps here are the naming of companion files, the questions and file dialogs for
// them, the PAR decision, the geometry step, the three ways of reading samples (one SDAT
// file, one SDAT file per slice, a DATA file indexed by a LIST file), the post-read
// sequences that bring k-space or image-space samples to oriented spectra, and the end
// of a read. Each reader's Read calls them in its own order. The EPCSI reader of raw
// echo-planar data takes the naming, the 3-D post-read and the end of a read from here.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/WaitCursor.h"
#include "readers/TPhilipsReader.h"

class TPhilipsCSIReader : public TPhilipsReader {
public:
    explicit TPhilipsCSIReader(const TCSIReadParams* pParams) : TPhilipsReader(pParams) {}
    ~TPhilipsCSIReader() override;

    // The companion-file base of a chosen path: the path without its extension and, for
    // the readers of one SDAT file per slice, without the "_" suffix of the file name
    // ("scan_12.SDAT" -> "scan"); an "_" at the start of the name or in a folder is kept.
    static std::string BaseOf(const std::string& path, bool cutAtUnderscore);
    // The set's name: the file name of that base.
    static std::string SetNameOf(const std::string& path, bool cutAtUnderscore);

    // Copies one slice of k-space spectra from the raw buffer (the first in-plane axis
    // fastest) into the voxels of that slice. False without a buffer, a set or room.
    bool FillSlice(int slice);

protected:
    // How a reader treats the PAR file of the metabolic map.
    enum class TPARUse {
        Recommended,  // asked for; the default path is read; a failure warns, the read goes on
        Required,     // asked for; No, Cancel or a failure end the read
        Optional,     // read only when the user chooses one; a failure is silent
    };
    enum class TCompanion { PAR, SPAR };
    // The post-read sequences: 2-D k-space (with the in-plane half-voxel ramp), 3-D
    // k-space (ramp on all axes), image space (flipped along the slice axis when it is
    // sagittal or transverse) and image space as it is.
    enum class TPostRead { KSpace2D, KSpace2DRamp, KSpace3D, ImageSpace, ImageSpaceNoFlip };

    // The grid a reader builds: one slice, a stack of slices transformed one by one,
    // or a volume transformed along all three axes.
    enum class TGrid { Slice, MultiSlice, Volume };
    // A reader of one SPAR file and one SDAT file.
    struct TSdatFlow {
        const char* formatMessage;
        const char* parQuestion;
        TPARUse parUse;
        TGrid grid;
        bool imageSpace;  // R2 data: voxel-space spectra whose echo top is point 0
    };
    // The start of a read of SPAR/SDAT files: a new set, the extension test, the base
    // (cut for per-slice files) and the set's name, then the SPAR file (base.SPAR, or
    // base_1.SPAR for per-slice files) and the reader's check, reported when it fails.
    bool StartSparRead(const std::string& path, const char* formatMessage, bool perSlice, std::string& base);
    // base.SPAR, the PAR step, base.SDAT.
    TCSISet* ReadSdatSet(const std::string& path, const TSdatFlow& flow);
    // base_1.SPAR, a required PAR file, and one SDAT file of k-space spectra per slice
    // (stack: the highest-numbered file is slice 0) or partition (volume: ascending).
    TCSISet* ReadSliceSet(const std::string& path, const char* formatMessage, const char* parQuestion, TGrid grid);

    // A new set with the read's format index.
    void StartSet();
    // True when the file's extension is one of the two (any case); otherwise reports the
    // reader's format message.
    static bool HasExtension(const std::string& path, const char* first, const char* second,
                             const char* formatMessage);

    // The open-file dialog for a companion file, starting in the data file's folder; ""
    // when cancelled. `title` replaces the kind's own title.
    static std::string ChooseCompanion(TCompanion kind, const std::string& dataPath, const char* title = nullptr);
    // Outside a batch run: the question, then on Yes the SPAR dialog. False when the
    // read ends: No, or Cancel when `cancelEnds`. A chosen file replaces `sparPath`.
    static bool AskForSPAR(const char* question, const std::string& dataPath, bool cancelEnds,
                           std::string& sparPath);
    // The PAR step: asks (outside a batch run), parses and reports by `use`; `parPath`
    // is the path read, `fromPAR` whether its geometry was taken. False when the read
    // ends. The wait cursor shows from here to the end of the read.
    bool TakePAR(TPARUse use, const char* question, const std::string& dataPath, const std::string& base,
                 std::string& parPath, bool& fromPAR);

    // The rotation matrices from the angulation: convention 0 for PAR angulations, 1 for
    // SPAR ones. With `equalVoxels` the second in-plane field of view follows the first,
    // so that the voxels are as wide along both in-plane axes.
    void ApplyGeometry(bool fromPAR, bool equalVoxels);
    // Samples as little-endian floats, the first in-plane axis fastest, then the
    // second, then the slice axis.
    void SetSampleLayout();
    // Slice thickness = field of view / slices along the slice axis; no gap.
    void SetThicknessFromFOV();
    // A stack of 2-D slices, each with its own zero phases.
    void MarkMultiSlice();
    // The 2-D rule (2), the 3-D rule (3) or only the base checks (0); the grid must also
    // stay within the voxel limit.
    bool ValidateDims(int dims);
    // The point count and every axis the post-read and the k-space mask transform are
    // lengths the FFT accepts; otherwise one report. Nothing to check for raw loads.
    bool CheckTransformLengths() const;

    // The whole SDAT file into the raw buffer (base read), converted from VAX floats.
    bool ReadSDAT(const std::string& path);
    // One slice file of N[a] * N[b] spectra into the raw buffer, as read: reports a file
    // that does not open; a short file fails silently.
    bool ReadSliceFile(const std::string& path);
    // Every slice file base_k.SDAT, k = 1 .. m_nSlices: file k fills slice n - k when
    // `reverse`, else slice k - 1. The slice count must be at least 1; every file is
    // checked before the voxels are allocated.
    bool ReadSliceFiles(const std::string& base, bool reverse);
    // The k-space grid from a DATA file: every record of m_kSpaceLines reads the
    // spectrum at its own byte offset into its grid position; positions without a record
    // are zero. A vector beyond the end of the file fails silently.
    bool ReadListData(const std::string& path);

    // `orient`, when given, replaces the sequence's own flips and transposes.
    bool RunPostRead(TPostRead sequence, const std::function<void(TCSISet&, int sliceAxis)>& orient = nullptr);
    // Fills the voxels from the raw buffer, then Finish.
    TCSISet* FillAndFinish();
    // The raw buffer is dropped; PostRead unless raw data are wanted, the k-space mask,
    // and the set goes to the caller. Any failure deletes the set.
    TCSISet* Finish();

private:
    std::optional<vx::TWaitCursor> m_waitCursor;
};
