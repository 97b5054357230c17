#pragma once
// Common base of the Philips CSI readers: the SPAR parameter-file parser, the fields the
// Philips parsers fill besides the set, and the shared conventions. Axes 0, 1, 2 are
// left-right, anterior-posterior and feet-head ("lr", "ap", "cc" in SPAR keys); the
// set's slice axis names the axis across the slices, the other two are its in-plane
// axes (TMRImage::InPlaneAxes). SDAT files hold VAX F complex pairs, no header.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/TCSIReader.h"

class TPhilipsReader : public TCSIReader {
public:
    // One accepted data vector of a LIST file: location, then the k indices along the
    // first and second in-plane axes, both shifted to start at 0, and the byte offset of
    // its samples in the DATA file.
    struct TKSpaceLine {
        int32_t location = 0;
        int32_t k1 = 0;
        int32_t k2 = 0;
        int64_t offset = 0;
    };

    explicit TPhilipsReader(const TCSIReadParams* pParams);
    ~TPhilipsReader() override;

    // The base reads nothing.
    TCSISet* Read(std::string path) override;

    // Parses a SPAR file into the set being built; false (no message) when there is no
    // set or the file cannot be read. Unknown keys and malformed lines are skipped.
    virtual bool ParseSPAR(std::string path);
    // The refusal of a SPAR file that ParseSPAR or Validate turned down: "Parameter file
    // <path> cannot be read or is invalid." and what is wrong with it (the file missing or
    // unreadable, the line that stopped the parse, or the first value that is unusable).
    std::string SPARRefusal(const std::string& sparPath) const;
    // Takes the geometry of a PAR file of the metabolic map: angulation, field of view,
    // slice count, slice thickness and gap. False (no message, nothing written) when
    // there is no set, the file cannot be read, a general-information line comes before
    // the version line or the field of view it gives is not positive.
    virtual bool ParsePAR(std::string path);
    // Takes the sizes of a LIST file (placed by the set's slice axis, which must be set
    // first) and appends one k-space record per standard data vector of mix 0 (noise,
    // correction and navigator vectors are skipped). Reports a file that cannot be read;
    // false without a message when there is no set, the slice axis is not 0..2, or a
    // data-vector line is malformed (too short for the file's layout, a byte offset that
    // is not a number) or lies outside the matrix.
    virtual bool ParseLIST(std::string path);

    std::vector<TKSpaceLine> m_kSpaceLines;
    int32_t m_nDataOffset = 0;  // byte offset of the first accepted LIST data vector
    int32_t m_nRelease = 9;     // major scanner software release
    int32_t m_nSlices = 1;      // slices (locations)
    bool m_bSlicesFromPAR = false;  // m_nSlices was last set by a PAR file
    // Why the last parse or check of the parameters turned them down, where the set's values
    // alone do not tell; empty otherwise.
    std::string m_strParameterFault;
    // The error of the folder's listing that failed in the last CompanionPath; 0 when none did.
    int m_nCompanionError = 0;

    // The file base + suffix: that exact file, else a case-insensitive match in the same
    // folder, else the exact name (which then fails to open). A listing of the folder that
    // failed is kept in m_nCompanionError, which says why the file was not found.
    std::string CompanionPath(const std::string& base, const std::string& suffix);
    // CompanionPath of a file the read opens next: none, said why, when the file is not there
    // by its exact name and its folder cannot be listed; `kind` names it then ("LIST file").
    std::optional<std::string> FoundCompanion(const std::string& base, const std::string& suffix,
                                              const std::string& kind);
    // Why the last CompanionPath, which gave `path`, could not look for it (NotListedText,
    // `kind` naming the file); empty when its folder's listing did not fail.
    std::string CompanionNotListed(const std::string& path, const std::string& kind) const;
    // "Parameter file <path> does not exist or cannot be read.", or CompanionNotListed where
    // the SPAR file that CompanionPath gave is not there because its folder could not be listed.
    std::string SPARNotReadText(const std::string& sparPath) const;
    // A line after its first ":", blanks trimmed (the whole line without ":").
    static std::string TextAfterColon(const std::string& line);
    // The last three words of a PAR line, which the file gives in (ap, fh, rl) order, as
    // values along the axes LR, AP, FH; the line has at least 3 words.
    static void PARTriple(const std::vector<std::string>& words, float out[3]);
    // VAX F words to IEEE floats in place, over a buffer of any size.
    static void ConvertVaxFloats(float* data, size_t floats);

protected:
    // One SPAR line cut into its tokens, with the line itself for the text keys.
    struct TSPARLine {
        const std::vector<std::string>& tokens;
        const std::string& line;
        const std::string& Key() const { return tokens[0]; }
        const std::string& Value() const { return tokens[2]; }
        double Number() const;
        int Integer() const;
        // The line after its first ":", blanks trimmed (the whole line without ":").
        std::string TextAfterColon() const { return TPhilipsReader::TextAfterColon(line); }
    };
    // What the parsers track while they read.
    struct TSPARState {
        int sliceAxis = 2;   // current slice axis
        int volume = 0;      // volume block being filled, 0 or 1
        double echoTime = 0; // ms
        double sliceDistance = 0;  // mm
    };

    // Calls `onLine` for every line that is not empty, not a comment (first character
    // blank or "!") and splits into at least 3 tokens; stops early when it returns
    // false. False when the file cannot be read (*notRead, when given, then saying why) or
    // a callback stopped the parse.
    static bool ForEachSPARLine(const std::string& path, const std::function<bool(const TSPARLine&)>& onLine,
                                std::string* notRead = nullptr);
    // Walks a PAR file: `onGeneral` gets every general-information line ("." first) of
    // at least 3 words with its words, `onImage` every image line's words and the
    // version (3 or 4). Either callback stops the walk by returning false. False when
    // the file cannot be read or a general-information line comes before the version
    // line; true otherwise, also when a callback stopped the walk.
    using TPARGeneralFn = std::function<bool(const std::string& line, const std::vector<std::string>& words)>;
    using TPARImageFn = std::function<bool(const std::vector<std::string>& words, int version)>;
    static bool ForEachPARLine(const std::string& path, const TPARGeneralFn& onGeneral, const TPARImageFn& onImage);
    // True when the `vectorBytes` bytes at every record's offset lie inside a DATA file of
    // `fileSize` bytes: checked before memory is taken for what the records fill.
    bool VectorsInsideFile(int64_t fileSize, uint64_t vectorBytes) const;
    // VectorsInsideFile for the DATA file at `path`; otherwise says why: a record's offset
    // is negative, the file is shorter than the vectors need, or its size (below 0) could
    // not be read (`sizeError`, TFile::LastError).
    bool VectorsInsideDataFile(const std::string& path, int64_t fileSize, int sizeError, uint64_t vectorBytes) const;
    // Says that the LIST file of the DATA file at `path` places a data vector outside the
    // set's grid; false for the caller's `return`.
    bool RefuseVectorOutsideGrid(const std::string& path) const;
    // Walks a LIST file: release comment lines set m_nRelease, `onHeader` gets the words
    // of every header line ("." first) of the first mix (second word "0"), `onVector`
    // the words and the byte offset of every standard data vector ("STD") of the first
    // mix; the first one's offset goes to m_nDataOffset. Other vectors (noise,
    // correction, navigator, other mixes) are skipped.
    //
    // The offset comes from the column that the file's column header ("# typ mix ...
    // size offset") names "offset"; a file without one has the 21-column layout, offset
    // in column 20, or the 20-column layout of older releases, offset in column 19.
    // Columns after the offset are ignored. A data-vector line too short for the layout,
    // a standard vector whose offset is not a number or negative, and a vector that
    // `onVector` refuses (it lies outside the sizes) end the walk with false and a message
    // that names the file, as does a file that cannot be read. A header line that
    // `onHeader` refuses ends it with false alone.
    using TLISTLineFn = std::function<bool(const std::vector<std::string>& words)>;
    using TLISTVectorFn = std::function<bool(const std::vector<std::string>& words, int64_t offset)>;
    bool ForEachLISTLine(const std::string& path, const TLISTLineFn& onHeader, const TLISTVectorFn& onVector);
    // The set's point count, its point range 0 .. n - 1 and the PPM reference at n / 2.
    void SetPointCount(int n);
    // The keys every SPAR parser shares (names, points, frequencies, times, averages,
    // volume count, echo position); true when the key was one of them.
    bool ApplyCommonSPARKey(const TSPARLine& line, TSPARState& state);
    // A volume-block key ("ap_size" ... "cc_angulation") into the box tables, the sign
    // of AP and LR values flipped; `copyToGrid` also copies sizes (when `sizesToFOV`),
    // off-centres and angulations into the grid fields. True when the key was one.
    bool ApplyVolumeKey(const TSPARLine& line, TSPARState& state, bool copyToGrid, bool sizesToFOV);
};
