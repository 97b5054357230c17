#pragma once
// One anatomical MR image of a project: size, field of view, orientation, position,
// rotation, display window, identification texts and its 16-bit pixels. The pixels
// live in a headerless file in the project folder, named after the image, and are
// loaded on demand.
#include <cstdint>
#include <string>
#include <vector>

#include "model/math/TPoint2D.h"
#include "platform/Files.h"
#include "platform/TCanvas.h"
#include "platform/TFile.h"

class TCSISet;
struct TKeptRecord;
class TMap;
class TProject;

class TMRImage {
public:
    // Known flags (IsParameterKnown).
    enum KnownFlag {
        KnownFOVX = 0,
        KnownFOVY,
        KnownOrientation,
        KnownPositionX,
        KnownPositionY,
        KnownPositionZ,
        KnownSlicePosition,
        KnownFlagCount
    };
    // Parameter kinds of SetParameter and GetParameter.
    enum ParameterKind {
        ParamFOVX = 0,
        ParamFOVY = 1,
        ParamSlicePosition = 2,
        ParamThickness = 3,
        ParamTE = 4,
        ParamTR = 5,
        ParamAngulationX = 6,   // 6..8 angulation x, y, z
        ParamOffCentreX = 9,    // 9..11 off-centre x, y, z
        ParamPositionX = 12,    // 12..14 position x, y, z of the image centre
        ParameterKindCount = 15
    };
    // Identification texts (GetInfoText, SetInfoText).
    enum InfoTextIndex {
        InfoExamName = 0,
        InfoExamDate,        // exam date and time
        InfoPatientName,
        InfoProtocolName,
        InfoDirectionCode,   // two letters of "R", "A", "H" naming the in-plane axes
        InfoPatientPosition,
        InfoPatientEntry,
        InfoTextCount
    };

    // Largest width or height accepted from a record or a setter-built image.
    static constexpr int kMaxSide = 16384;

    explicit TMRImage(TProject* project);
    virtual ~TMRImage();
    TMRImage(const TMRImage&) = delete;
    TMRImage& operator=(const TMRImage&) = delete;

    TProject* GetProject() const { return m_pProject; }

    // Setters; `modified` set marks the owning project modified.
    // A new width or height drops pixels and float values held in memory.
    void SetWidth(int width, bool modified);
    void SetHeight(int height, bool modified);
    // Also marks the orientation known.
    void SetOrientation(int orientation, bool modified);
    void SetCentre(const TPoint2D& centre, bool modified);
    // kind: ParameterKind; other kinds change nothing.
    void SetParameter(float value, int kind, bool modified);
    // index 0..6; other indices change nothing.
    void SetInfoText(const std::string& text, int index, bool modified);
    // An empty name or path is refused with a message; the old value stays.
    bool SetName(const std::string& name, bool modified);
    bool SetPath(const std::string& path);
    void SetId(int id) { m_nId = id; }

    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    int GetId() const { return m_nId; }
    int GetOrientation() const { return m_nOrientation; }
    TPoint2D GetCentre() const { return m_centre; }
    TPoint2D GetShift() const { return m_shift; }
    float GetFOVX() const { return m_fFOVX; }
    float GetFOVY() const { return m_fFOVY; }
    float GetSlicePosition() const { return m_fSlicePosition; }
    float GetThickness() const { return m_fSliceThickness; }
    float GetTR() const { return m_fTR; }
    float GetTE() const { return m_fTE; }
    // The value of a parameter kind; 0 for another kind.
    float GetParameter(int kind) const;
    const std::string& GetName() const { return m_strName; }
    const std::string& GetPath() const { return m_strPath; }
    // index 0..6; empty text for another index.
    std::string GetInfoText(int index) const;
    bool IsParameterKnown(int flag) const;
    // All seven known flags set.
    bool IsGeometryComplete() const;
    // The pixel file opens for reading.
    bool PixelFileExists() const;
    // What keeps the pixels from being loaded from the pixel file: none, the file missing
    // (or something else in its place), this user may not read it, it or its size could
    // not be read, or it is cut short.
    enum class TPixelFileCause { None, Missing, MayNotRead, NotRead, CutShort };
    // Why the pixels cannot be loaded from the file ("its pixel file is missing", "its
    // pixel file is cut short", that this user may not read it and whom to ask, or that it
    // or its size could not be read and why); empty when the file holds them (2 bytes a
    // pixel, 1 in the files of projects older than version 5). `cause`, when given, tells
    // which cause it is.
    std::string PixelFileProblem(int bytesPerPixel = 2, TPixelFileCause* cause = nullptr) const;
    // The file the pixels are read from: the pixel file, or the file staged for it while
    // no project file in the folder lists the image yet (TProject::PathToRead).
    std::string PixelFileToRead() const;
    // Opens that file to read (TProject::OpenToRead).
    bool OpenPixelFile(vx::TFile& file) const;

    void GetPosition(float position[3]) const;
    void SetPosition(const float position[3]);
    void GetAngulation(float angulation[3]) const;
    void GetOffCentre(float offCentre[3]) const;
    // World-to-image rotation and its inverse, 3 x 3 row by row.
    void GetRotation(float rotation[9]) const;
    void SetRotation(const float rotation[9]);
    void GetInverseRotation(float inverse[9]) const;
    void SetInverseRotation(const float inverse[9]);

    // The in-plane world axes of an orientation: sagittal (1, 2), coronal (0, 2),
    // axial (0, 1). False for an orientation without a slice axis.
    static bool InPlaneAxes(int orientation, int& xAxis, int& yAxis);
    // The 3-D image centre: [orientation] = slice position, the in-plane components
    // from the centre. An image of unknown orientation gives its stored position.
    void GetCentre3D(float centre[3]) const;
    // In place: 0 R(v - P); 1 R^-1 v + P; 2 as 0, then z negated; 3 z negated, then
    // as 1 (R the rotation, P the position). Other modes leave v unchanged.
    void Transform(float v[3], int mode) const;

    // Places the image in the frame of a CSI set (its own frame when null): the
    // position taken into that frame (mode 2) gives the slice position [orientation]
    // and the in-plane centre. An image of unknown orientation is not placed.
    void LocateInCSISet(const TCSISet* set);
    // Flips or swaps the in-plane centre so that an image whose axes carry the
    // direction code is seen in its orientation's standard view (sagittal "AH",
    // coronal "RH", axial "RA"); `inverse` turns the quarter rotations the other way.
    void ApplyDirectionCode(bool inverse);

    // Pixel (fractional) to in-plane millimetres and back.
    TPoint2D PixelToWorld(const TPoint2D& pixel) const;
    vx::TPointI WorldToPixel(const TPoint2D& point) const;
    bool ContainsPoint(const TPoint2D& point) const;
    // Direction 0: millimetres from the image corner to in-plane millimetres;
    // direction 1 the reverse. The display shift is included. Other directions
    // return the point unchanged.
    TPoint2D ConvertPoint(const TPoint2D& point, int direction) const;
    void AddShift(const TPoint2D& offset) { m_shift = m_shift + offset; }
    void ResetShift() { m_shift = TPoint2D(0.0f, 0.0f); }

    // The size in screen pixels at which the image shows square pixels.
    vx::TSizeI GetDisplaySize() const;

    // Display window. The value forms work in real values (the value range) and are
    // mapped linearly onto stored pixel units (the stored range).
    void SetWindowLow(float value);
    void SetWindowHigh(float value);
    float GetWindowLow() const;
    float GetWindowHigh() const;
    // The window in stored pixel units, as the readers and the drawing use it.
    void SetStoredWindow(int low, int high);
    int GetStoredWindowLow() const { return m_nWindowLow; }
    int GetStoredWindowHigh() const { return m_nWindowHigh; }
    void SetStoredRange(float maximum, float minimum);
    void SetValueRange(float maximum, float minimum);
    float GetStoredMax() const { return m_fStoredMax; }
    float GetStoredMin() const { return m_fStoredMin; }
    float GetValueMax() const { return m_fValueMax; }
    float GetValueMin() const { return m_fValueMin; }

    // Pixels. LoadPixels replaces the pixels in memory only after a complete read; a read
    // that fails is reported ("The pixel file <path> cannot be read to its end: <why>."), once
    // until a read succeeds.
    bool LoadPixels(const std::string& path);
    // How a read of pixels ended: whole, not had (the file missing, not a file, not for
    // this user to read or cut short), or failed part way by the system.
    enum class TPixelRead { Whole, NotHad, Failed };
    // Reads the pixels as LoadPixels does, telling nothing: why they were not had is put in
    // `why`, a sentence that names the file as `what` ("The pixel file", "its state file").
    TPixelRead ReadPixels(const std::string& path, const std::string& what, std::string& why);
    // The same for the file `name` in `folder`, never through a link at its name.
    TPixelRead ReadPixels(const vx::TFolder& folder, const std::string& name, const std::string& what,
                          std::string& why);
    // Writes the pixels in memory through a temporary file renamed over `path` (in a
    // transaction: staged, and put in place with its other files); a failure is
    // reported, followed by the note's sentence, and gives false.
    bool SavePixels(const std::string& path, const vx::TWriteFailureNote& note = {},
                    vx::TFileTransaction* transaction = nullptr) const;
    // The same into `file`, a new file open for writing that nothing reads before it is
    // complete (an undo state, made for it), written as it stands; the caller removes it
    // after a failure.
    bool SavePixels(vx::TFile& file, const vx::TWriteFailureNote& note = {}) const;
    // width x height values, row by row; false (nothing changed) for another count.
    bool SetPixels(std::vector<int16_t> pixels);
    const std::vector<int16_t>& GetPixels() const { return m_pixels; }
    bool IsLoaded() const { return m_bLoaded; }
    // Loads the pixels from PixelFileToRead unless they are in memory.
    bool EnsurePixels();
    void FreePixels();
    // The value at column x, row y, loading the pixels first when needed; 0 when
    // they cannot be loaded or the pixel lies outside the image.
    int GetPixel(int x, int y);
    // The float value when the image holds float values, else the 16-bit value,
    // with 3 significant digits, followed by the value unit. Empty outside the image.
    std::string GetPixelValueText(int x, int y);

    // Real values standing behind the stored pixels (images made from maps).
    bool SetFloatValues(std::vector<float> values);
    bool HasFloatValues() const { return !m_floatValues.empty(); }
    const std::vector<float>& GetFloatValues() const { return m_floatValues; }
    void SetValueUnit(const std::string& unit) { m_strValueUnit = unit; }
    const std::string& GetValueUnit() const { return m_strValueUnit; }
    bool IsNormalized() const { return m_bNormalized; }

    // Image processing on the pixels (loaded first when needed; false when they
    // cannot be). Both rescale their float results onto the stored range.
    // 3 x 3 smoothing, pixels outside the image counting as 0.
    bool Smooth();
    // Evens out the coil's intensity profile: every pixel is divided by a Gaussian
    // low-pass copy of the image (filter width `width`); where the low-pass copy is
    // at most `thresholdPercent` of its maximum the result is 0. Sets the normalised
    // flag. False when a side is not a transformable length (reported).
    bool NormalizeIntensity(float width, float thresholdPercent);

    // Makes this image the plane of a metabolite map that holds `position` (mm) along
    // `axis`: the map's name, its in-plane size and field of view, the plane's centre
    // placed through the project's work set, the values of the part the spectra are
    // shown in as float values, stored as 0..1000 over that part's range, and the map's
    // display range as the window. False, image unchanged, for a null map; a bad axis
    // ("Slice dimension is not valid.") or a plane outside the map ("There is no CSI
    // map available for this image.") is reported.
    bool CreateFromCSIMap(const TMap* map, int axis, float position);

    // Drawing. Grey level of a pixel: 0 below the window (or for an empty window),
    // 255 above it, linear inside; turned into a colour by the colour table.
    // The picture wraps around so that the image centre lands in its middle.
    // 0x00rrggbb words, width x height, row by row; empty when there are no pixels.
    std::vector<uint32_t> RenderPixels(int colourTable);
    // Draws the rendered picture at (0, 0), one screen pixel per image pixel.
    void DrawPixels(vx::TCanvas& canvas, int colourTable);
    // This image in grey (each channel its grey level times baseWeight) with other
    // images fused over it: at each pixel's centre every overlay's own grey level,
    // coloured by the table, is added times overlayWeight, channels held to 0..255.
    // Points outside an overlay add its colour of 0. Wraps around as RenderPixels.
    std::vector<uint32_t> RenderMapOverlay(const std::vector<TMRImage*>& overlays, float baseWeight,
                                           float overlayWeight, int colourTable);
    void DrawMapOverlay(vx::TCanvas& canvas, const std::vector<TMRImage*>& overlays, float baseWeight,
                        float overlayWeight, int colourTable);
    // Adds the overlays' colours, times `weight` and held to 0..255, to a picture of 32-bit
    // 0x??rrggbb pixels (width x height, `stride` pixels a row) whose pixel (x, y) shows the
    // world point origin + ((x + 0.5) * step.x, (y + 0.5) * step.y). A view draws overlays
    // so at its own resolution, where their cells can meet the lines of the CSI grid at any
    // zoom; sampled per image pixel they would end up to one image pixel off.
    static void AddMapOverlays(uint32_t* picture, int width, int height, int stride,
                               const std::vector<TMRImage*>& overlays, float weight, int colourTable,
                               const TPoint2D& origin, const TPoint2D& step);

    // The image record of the project file, always written in the newest layout.
    bool Write(vx::TFile& file) const;
    // Reads a record of the given project-file version; the pixel file path becomes
    // folder + "/" + name, whether the file is there or not (PixelFileProblem). False
    // (image unchanged) on a short read or an invalid record; a whole record that is
    // invalid also goes to `unusable` (its bytes, name, reason and pixel file name). The
    // file is left after the record whenever the record was complete.
    bool Read(vx::TFile& file, int version, const std::string& folder, TKeptRecord* unusable = nullptr);
    // Reads over one record of the given version; true when it was complete.
    static bool SkipRecord(vx::TFile& file, int version);
    // The record from `start` to where the file stands, kept aside for `reason`: its bytes,
    // name, pixel file name and the offset of its patient name, which de-identifying
    // replaces. False when it is not one whole record of the version.
    static bool KeepRecord(vx::TFile& file, int64_t start, int version, const std::string& reason,
                           TKeptRecord& kept);

    // Every header field of another image (geometry, window, ranges, texts, name and
    // path, known flags); the pixels and float values are not copied.
    void CopyHeaderFrom(const TMRImage& other);

    // Width and height 1..kMaxSide, FOV x and y > 0, thickness >= 0, orientation 0..3.
    bool IsValid() const;
    // The patient name becomes "Anonymized".
    void Anonymize();

private:
    // Adds this overlay's colour at a world point (its colour of 0 outside it), times
    // weight, to rgb, each channel held to 0..255. The pixels must be loaded.
    void AddOverlayColour(const TPoint2D& point, double weight, int colourTable, int rgb[3]) const;
    // The picture of colourOf(x, y, stored value) for every pixel, wrapped around so
    // that the centre lands in the middle.
    template <typename ColourOf>
    std::vector<uint32_t> RenderWrapped(ColourOf colourOf) const;
    void MarkModified(bool modified) const;
    // LoadPixels of `file`, opened for `path` where `opened` is set.
    bool LoadOpenPixels(vx::TFile& file, bool opened, const std::string& path);
    // ReadPixels of the file open in `file` (not had when it did not open), named `path`;
    // the bytes SavePixels writes, empty when there are no pixels to write.
    TPixelRead ReadOpenPixels(vx::TFile& file, bool opened, const std::string& path, const std::string& what,
                              std::string& why);
    std::vector<unsigned char> PixelBytes() const;
    // Stored units per value unit of the window mapping (1 for a degenerate range).
    double WindowScale() const;
    // Each pixel becomes its value's place between the smallest and largest value,
    // mapped onto the stored range.
    void RescaleOntoStoredRange(const std::vector<float>& values);

    TProject* m_pProject;
    int m_nWidth = 256;
    int m_nHeight = 256;
    int m_nId = 0;
    int m_nWindowLow = 0;
    int m_nWindowHigh = 0;
    TPoint2D m_centre{0.0f, 0.0f};   // mm, in-plane
    TPoint2D m_shift{0.0f, 0.0f};    // mm, display shift
    float m_fFOVX = 240.0f;          // mm
    float m_fFOVY = 240.0f;          // mm
    float m_fSlicePosition = 0.0f;   // mm along the slice axis
    int m_nOrientation = 0;
    int m_bKnown[KnownFlagCount] = {};
    std::string m_strName;
    std::string m_strInfo[InfoTextCount];
    float m_fSliceThickness = 5.0f;  // mm
    float m_fTR = 0.0f;              // ms
    float m_fTE = 0.0f;              // ms
    float m_fOffCentre[3] = {};      // mm
    float m_fAngulation[3] = {};     // degrees
    float m_fPosition[3] = {};       // mm, 3-D image centre
    float m_fRotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float m_fRotationInverse[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::string m_strPath;
    bool m_bLoaded = false;
    bool m_bReadFailureTold = false;  // a failed read of the pixel file was reported
    bool m_bNormalized = false;
    std::vector<int16_t> m_pixels;    // width x height, row by row
    float m_fStoredMax = 0.0f;
    float m_fStoredMin = 0.0f;
    std::vector<float> m_floatValues; // width x height or empty
    float m_fValueMax = 0.0f;
    float m_fValueMin = 0.0f;
    std::string m_strValueUnit;
};
