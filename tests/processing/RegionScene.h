#pragma once
// A project whose work set is an axial CSI grid centred at the origin, with images of
// that plane that regions are drawn on, for the tests of drawn regions and estimates.
#include <memory>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "processing/IImagePlaneFrame.h"
#include "processing/TDrawnRegion.h"
#include "support/CSISetBuilders.h"

namespace vx::test {

// The frame an image is shown in: axial unless told otherwise, at the image's position.
class TImageFrame : public IImagePlaneFrame {
public:
    explicit TImageFrame(TMRImage* image) : m_image(image) {}
    TMRImage* GetImage() const override { return m_image; }
    int GetOrientation() const override { return m_image ? m_image->GetOrientation() : 0; }
    void GetSlicePosition(float position[3]) const override
    {
        for (int d = 0; d < 3; ++d)
            position[d] = 0.0f;
        if (m_image && m_image->GetOrientation() >= 0 && m_image->GetOrientation() < 3)
            position[m_image->GetOrientation()] = m_image->GetSlicePosition();
    }

private:
    TMRImage* m_image;
};

class TRegionScene {
public:
    // The work set: nx x ny x nz voxels of `points` samples (sample i of voxel (x, y, z)
    // is f(x, y, z, i)) over fovXY mm in-plane and fovZ mm along z, in voxel space.
    template <typename F>
    void MakeSet(int nx, int ny, int nz, int points, float fovXY, float fovZ, F f)
    {
        FillGrid(set, nx, ny, nz, points, f);
        set.m_fFOV[0] = set.m_fFOV[1] = fovXY;
        set.m_fFOV[2] = fovZ;
        set.m_nSliceAxis = 2;
        set.m_bKSpace = 0;
        set.InitVoxels();
        project.m_pWorkSet = &set;
    }

    // An image of the work set's plane at z (mm), of width x height pixels over fov mm,
    // centred on the grid.
    TMRImage* AddImage(int width, int height, float fov, float z = 0.0f, int orientation = 2)
    {
        auto image = std::make_unique<TMRImage>(&project);
        image->SetWidth(width, false);
        image->SetHeight(height, false);
        image->SetOrientation(orientation, false);
        image->SetParameter(fov, TMRImage::ParamFOVX, false);
        image->SetParameter(fov, TMRImage::ParamFOVY, false);
        image->SetParameter(z, TMRImage::ParamSlicePosition, false);
        image->SetParameter(3.0f, TMRImage::ParamThickness, false);
        images.push_back(std::move(image));
        return images.back().get();
    }

    // A region of type R through the pixels, drawn in the image's frame.
    template <typename R>
    static R* Draw(TMRImage* image, const std::vector<vx::TPointI>& pixels)
    {
        auto* region = new R;
        for (const vx::TPointI& p : pixels)
            region->AddPoint(p.x, p.y);
        region->SetImagePlane(TImageFrame(image));
        return region;
    }

    TCSISet set;  // outlives the project, which frees its samples
    TProject project;
    std::vector<std::unique_ptr<TMRImage>> images;
};

}  // namespace vx::test
