#include "support/GuiFixture.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>
#include <complex>
#include <memory>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/TImageFrameList.h"
#include "model/ReaderHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "readers/CSIFormats.h"
#include "readers/ReaderFactory.h"
#include "support/Bytes.h"

namespace vx::test {

namespace {

constexpr int kRawImageType = 6;

// The set in memory as a scanner export would give it, before it is written to a file.
std::unique_ptr<TCSISet> MakeSet(int slices)
{
    auto set = std::make_unique<TCSISet>();
    set->m_nDim[0] = TGuiFixture::kColumns;
    set->m_nDim[1] = TGuiFixture::kRows;
    set->m_nDim[2] = slices;
    set->m_fFOV[0] = TGuiFixture::kFOV;
    set->m_fFOV[1] = TGuiFixture::kFOV;
    set->m_fFOV[2] = TGuiFixture::kSliceThickness * static_cast<float>(slices);
    set->m_nPoints = TGuiFixture::kPoints;
    set->m_nFirstPoint = 0;
    set->m_nLastPoint = TGuiFixture::kPoints - 1;
    set->m_nSpectralWidth = TGuiFixture::kSpectralWidth;
    set->m_fFrequency = TGuiFixture::kFrequency;
    set->m_fPPMCentrePoint = TGuiFixture::kZeroPPMPoint;
    set->m_bFrequencyDomain = 1;
    set->m_bKSpace = 0;
    set->m_nSpatialDims = 2;
    set->m_nSliceAxis = 2;
    set->m_bMultiSlice = slices > 1 ? 1 : 0;
    set->m_fSliceThickness = TGuiFixture::kSliceThickness;
    set->m_nFormat = kInternalFormat;
    set->m_fTR = 1500.0f;
    set->m_fTE = 144.0f;
    set->m_strNucleus = "1H";
    if (!set->AllocateVoxels())
        return nullptr;
    set->InitVoxels();
    std::vector<TComplex> samples(TGuiFixture::kPoints);
    for (size_t v = 0; v < set->VoxelCount(); ++v) {
        TSpectrum* voxel = set->GetVoxel(v);
        for (int i = 0; i < TGuiFixture::kPoints; ++i) {
            float re = 0, im = 0;
            TGuiFixture::Sample(voxel->m_nX, i, re, im);
            samples[static_cast<size_t>(i)] = TComplex(re, im);
        }
        voxel->SetComplexData(samples.data());
    }
    set->m_bLoaded = true;
    return set;
}

// 64 x 64 little-endian 16-bit samples of the pattern.
std::string RawImageBytes()
{
    std::vector<int> values;
    for (int py = 0; py < TGuiFixture::kImageSide; ++py)
        for (int px = 0; px < TGuiFixture::kImageSide; ++px)
            values.push_back(TGuiFixture::ImageValue(px, py));
    return Int16LE(values);
}

TMRImage* FindImage(TProject& project, const std::string& name)
{
    for (TMRImage* image : *project.m_pImageSet)
        if (image->GetName() == name)
            return image;
    return nullptr;
}

// The raw reader leaves an image unplaced: it becomes an axial image of the grid's FOV
// whose centre lies on the grid's centre line at the slice position (set frame).
void PlaceAxialImage(TProject& project, TMRImage* image, float slicePosition)
{
    image->SetOrientation(2, true);
    image->SetParameter(TGuiFixture::kFOV, TMRImage::ParamFOVX, true);
    image->SetParameter(TGuiFixture::kFOV, TMRImage::ParamFOVY, true);
    image->SetParameter(TGuiFixture::kSliceThickness, TMRImage::ParamThickness, true);
    // Patient z is the set frame's z negated (the set's rotation is the identity).
    const float position[3] = {0.0f, 0.0f, -slicePosition};
    for (int k = 0; k < 3; ++k)
        image->SetParameter(position[k], TMRImage::ParamPositionX + k, true);
    image->SetInfoText("RA", TMRImage::InfoDirectionCode, true);
    image->LocateInCSISet(project.m_pWorkSet);
    // The collection keeps its images in order of orientation and slice position.
    project.m_pImageSet->Erase(project.m_pImageSet->Find(image));
    project.m_pImageSet->Insert(image);
}

}  // namespace

TGuiFixture::TGuiFixture(int slices) : m_nSlices(slices < 2 ? 1 : 2)
{
    ResetGlobals();
    RegisterReaders();
    m_ok = Build();
    ClearReaderHooks();
    ResetGlobals();
    EXPECT_TRUE(m_ok) << "the GUI fixture project could not be built";
}

std::string TGuiFixture::ImageName(int slice)
{
    return "axial_" + std::to_string(slice + 1);
}

float TGuiFixture::SlicePosition(int slice) const
{
    return (static_cast<float>(slice) - static_cast<float>(m_nSlices) * 0.5f + 0.5f) * kSliceThickness;
}

float TGuiFixture::PeakHeight(int x)
{
    return 100.0f * static_cast<float>(x + 1);
}

void TGuiFixture::Sample(int x, int i, float& re, float& im)
{
    // A complex Lorentzian: absorption in the real part, dispersion in the imaginary part.
    const float d = static_cast<float>(i - kPeakPoint);
    const float g = kHalfWidth;
    const float a = PeakHeight(x);
    re = a * g * g / (d * d + g * g);
    im = -a * g * d / (d * d + g * g);
}

int TGuiFixture::ImageValue(int px, int py)
{
    const int column = px * kColumns / kImageSide;
    const int row = py * kRows / kImageSide;
    return (column + row) % 2 == 0 ? 0 : 300 + 100 * column;
}

bool TGuiFixture::Build()
{
    const std::string source = JoinPath(m_root.Path(), "source");
    m_projectFolder = JoinPath(m_root.Path(), "project");
    if (!MakeFolder(source))
        return false;
    std::unique_ptr<TCSISet> set = MakeSet(m_nSlices);
    const std::string setFile = std::string(kSetName) + ".dat";
    if (!set || !set->WriteDataFile(JoinPath(source, setFile)))
        return false;
    const std::string rawImage = JoinPath(source, "pattern");
    WriteBytes(rawImage, RawImageBytes());

    TProject project;
    g_pProject = &project;
    bool ok = project.Create(m_projectFolder, kProjectName);
    TCSIReadParams read;
    read.m_nFormat = kInternalFormat;
    ok = ok && project.AddCSISet(source, setFile, read);
    TCSISet* added = ok ? project.m_pCSISetList->FindByName(kSetName) : nullptr;
    if (added)
        project.SetWorkSet(added);
    ok = ok && project.m_pWorkSet == added;

    for (int k = 0; ok && k < m_nSlices; ++k) {
        // Each image is read from a copy named after it: the file name becomes the image name.
        const std::string named = JoinPath(source, ImageName(k));
        WriteBytes(named, ReadBytes(rawImage));
        TImageImportParams params;
        params.m_nImageType = kRawImageType;
        params.m_nWidth = kImageSide;
        params.m_nHeight = kImageSide;
        ok = project.AddImages(source, ImageName(k), params);
        TMRImage* image = ok ? FindImage(project, ImageName(k)) : nullptr;
        ok = image != nullptr;
        if (ok)
            PlaceAxialImage(project, image, SlicePosition(k));
    }
    ok = ok && project.Save();
    m_projectPath = project.GetProjectFilePath();
    g_pProject = nullptr;
    return ok;
}

TGuiSession::TGuiSession(const TGuiFixture& fixture) : m_frame(std::make_unique<CMainFrame>())
{
    EXPECT_TRUE(m_frame->LoadFrame());
    m_frame->resize(1280, 800);
    m_frame->show();
    QApplication::processEvents();
    m_project = std::make_unique<TProject>(m_frame.get());
    g_pProject = m_project.get();
    if (!fixture.Ok() || !m_project->Load(fixture.ProjectPath())) {
        ADD_FAILURE() << "the fixture project did not open";
        g_pProject = nullptr;
        m_project.reset();
        return;
    }
    m_frame->SetProjectOpen(true);
    QApplication::processEvents();
}

TGuiSession::~TGuiSession()
{
    if (g_pProject == m_project.get())
        g_pProject = nullptr;
    m_project.reset();
    m_frame.reset();
}

std::vector<CChildFrame*> TGuiSession::ImageFrames() const
{
    auto* list = m_project ? dynamic_cast<TImageFrameList*>(m_project->m_frameList.get()) : nullptr;
    return list ? list->Frames() : std::vector<CChildFrame*>();
}

CChildFrame* TGuiSession::FrameTitled(const std::string& title) const
{
    for (CChildFrame* frame : ImageFrames())
        if (frame->windowTitle().toStdString() == title)
            return frame;
    return nullptr;
}

TMap* AddRisingMap(TCSISet& set, const std::string& name)
{
    auto* map = new TMap(&set);
    const int dim[3] = {8, 8, 2};
    std::vector<TComplex> values;
    for (int k = 0; k < 8 * 8 * 2; ++k)
        values.emplace_back(float(k % 8 + 1), 0.0f);
    EXPECT_TRUE(map->SetGrid(dim, values));
    map->name = name;
    std::copy(set.m_fFOV, set.m_fFOV + 3, map->fov);
    map->minReal = map->displayMin = 1;
    map->maxReal = map->displayMax = 8;
    set.AddMap(map);
    return map;
}

}  // namespace vx::test
