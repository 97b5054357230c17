#pragma once
// The synthetic project of the GUI tests, built through the core API alone and saved as a
// ".tpj" in a temporary folder that goes with the object.
//
// CSI set "fixture_csi": 8 x 8 voxels in one axial slice (two with TGuiFixture(2)), FOV 240 mm
// in-plane and 10 mm per slice, centred on the origin, 256 points in the frequency domain
// (voxel space), 1600 Hz over 125 MHz so that one ppm is 20 points, 0 ppm at point 222.
// Every voxel holds one Lorentzian line at 2.0 ppm (point 182) whose height rises along x:
// (x + 1) * 100. The set is the saved work set, so opening the project opens its slices.
//
// Images "axial_1" (and "axial_2"): 64 x 64 axial images of the same FOV and centre, one per
// slice, each image pixel column/row lying in voxel column/row (pixel / 8). The pattern is a
// checkerboard of voxel-sized cells: cells with (column + row) even are 0, the others
// 300 + 100 * column (400 ... 1000); the display window is 0 ... 1000.
//
// The set is written as a data-set file and added with the project's AddCSISet and the
// program's own format reader; the images as raw files added with AddImages and then given
// their geometry. The real readers are registered while the project is built.
#include <memory>
#include <string>
#include <vector>

#include "support/TestFiles.h"

class CChildFrame;
class CMainFrame;
class TCSISet;
class TMap;
class TProject;

namespace vx::test {

class TGuiFixture {
public:
    static constexpr int kColumns = 8;
    static constexpr int kRows = 8;
    static constexpr int kPoints = 256;
    static constexpr int kImageSide = 64;
    static constexpr float kFOV = 240.0f;            // mm, in-plane
    static constexpr float kSliceThickness = 10.0f;  // mm
    static constexpr int kSpectralWidth = 1600;      // Hz
    static constexpr float kFrequency = 125.0f;      // MHz
    static constexpr float kZeroPPMPoint = 222.0f;
    static constexpr float kPeakPPM = 2.0f;
    static constexpr int kPeakPoint = 182;
    static constexpr float kHalfWidth = 2.0f;        // points, half width at half height
    static constexpr const char* kSetName = "fixture_csi";
    static constexpr const char* kProjectName = "fixture";

    // Builds the project with 1 or 2 slices; a failure fails the calling test
    // (check Ok() or use ASSERT_TRUE(fixture.Ok())).
    explicit TGuiFixture(int slices = 1);

    bool Ok() const { return m_ok; }
    int Slices() const { return m_nSlices; }
    const std::string& ProjectPath() const { return m_projectPath; }
    const std::string& ProjectFolder() const { return m_projectFolder; }
    // "axial_1", "axial_2": the image of slice k (0-based).
    static std::string ImageName(int slice);
    // Centre of slice k along z in the set's frame, mm.
    float SlicePosition(int slice) const;

    // Line height of the voxels of column x.
    static float PeakHeight(int x);
    // Sample i of a voxel of column x (real, imaginary).
    static void Sample(int x, int i, float& re, float& im);
    // Stored value of image pixel (px, py).
    static int ImageValue(int px, int py);

private:
    bool Build();

    TTempFolder m_root;
    int m_nSlices;
    bool m_ok = false;
    std::string m_projectFolder;
    std::string m_projectPath;
};

// A fixture project opened as the program opens one: a loaded main frame of 1280 x 800,
// shown, and the project loaded with it (g_pProject), so that its work set opens one
// slice window per axis. The project goes before the main frame.
class TGuiSession {
public:
    explicit TGuiSession(const TGuiFixture& fixture);
    ~TGuiSession();
    TGuiSession(const TGuiSession&) = delete;
    TGuiSession& operator=(const TGuiSession&) = delete;

    bool Ok() const { return m_project != nullptr; }
    CMainFrame& MainFrame() { return *m_frame; }
    TProject* Project() { return m_project.get(); }
    // The open image windows in the order of opening.
    std::vector<CChildFrame*> ImageFrames() const;
    // The first open window whose title is `title`; null when none.
    CChildFrame* FrameTitled(const std::string& title) const;

private:
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<TProject> m_project;
};

// Adds to the set an 8 x 8 x 2 map called `name` whose values rise along x (1 ... 8) over the
// set's FOV, with its range and display range 1 ... 8; returns it (owned by the set).
TMap* AddRisingMap(TCSISet& set, const std::string& name);

}  // namespace vx::test
