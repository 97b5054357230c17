// Images made from images already in the project: the re-slicing of a stack into the
// two other orientations and the sums of the images within each slice of the work set.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/math/Geometry.h"
#include "model/TCSISet.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Paths.h"
#include "platform/Report.h"

namespace {

constexpr char kAxisLetter[3] = {'R', 'A', 'H'};

// The first image's name up to its last ".", then the suffix and the number.
std::string DerivedName(const TMRImage& first, const char* suffix, int number)
{
    const std::string& name = first.GetName();
    const size_t dot = name.rfind('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + suffix +
           FloatToString(static_cast<float>(number), 1);
}

// The pixel file of a new image: beside the first image's.
std::string DerivedPath(const TMRImage& first, const std::string& name)
{
    return vx::JoinPath(vx::FolderOf(first.GetPath()), vx::SanitizeFileComponent(name));
}

// The pixels of a source image, loaded when needed; null when they cannot be read
// (the image then contributes zeros).
const int16_t* SourcePixels(TMRImage& image)
{
    return image.EnsurePixels() ? image.GetPixels().data() : nullptr;
}

// What a command that makes images says when one of their pixel files cannot be written.
const char* const kNotAdded = "The new images were not added";

// Window, stored range and value range from the image's own pixels.
void TakeRangesFromPixels(TMRImage& image)
{
    const std::vector<int16_t>& p = image.GetPixels();
    if (p.empty())
        return;
    const auto [lo, hi] = std::minmax_element(p.begin(), p.end());
    image.SetStoredWindow(*lo, *hi);
    image.SetStoredRange(*hi, *lo);
    image.SetValueRange(*hi, *lo);
}

// A usable list: at least one image, all of the first one's orientation and size.
bool CheckSources(const std::vector<TMRImage*>& images)
{
    if (images.empty() || !images.front())
        return false;
    const TMRImage& first = *images.front();
    for (const TMRImage* image : images)
        if (!image || image->GetOrientation() != first.GetOrientation() || image->GetWidth() != first.GetWidth() ||
            image->GetHeight() != first.GetHeight()) {
            vx::Report("The images must have the same orientation and size.", vx::ReportIcon::Exclamation);
            return false;
        }
    return true;
}

}  // namespace

bool TImageSet::DerivedNameTaken(const std::string& name, const std::string& path) const
{
    const bool taken = (m_pProject ? m_pProject->IsAnotherFile(path) : PathInUse(path)) || std::any_of(m_images.begin(), m_images.end(), [&](const TMRImage* image) {
                           return image->GetName() == name;
                       });
    if (taken)
        vx::Report("An image named " + name + " is already in the project.", vx::ReportIcon::Exclamation);
    return taken;
}

bool TImageSet::Reconstruct3D(const std::vector<TMRImage*>& images)
{
    if (images.empty() || !images.front())
        return false;
    switch (images.front()->GetOrientation()) {
    case 0: return ReconstructFromSagittal(images);
    case 1: return ReconstructFromCoronal(images);
    case 2: return ReconstructFromAxial(images);
    default: return false;
    }
}

bool TImageSet::ReconstructFromSagittal(const std::vector<TMRImage*>& images) { return ReconstructFrom(0, images); }
bool TImageSet::ReconstructFromCoronal(const std::vector<TMRImage*>& images) { return ReconstructFrom(1, images); }
bool TImageSet::ReconstructFromAxial(const std::vector<TMRImage*>& images) { return ReconstructFrom(2, images); }

bool TImageSet::ReconstructFrom(int source, const std::vector<TMRImage*>& images)
{
    if (!CheckSources(images) || images.front()->GetOrientation() != source)
        return false;
    const TMRImage& first = *images.front();
    const int m = static_cast<int>(std::min<size_t>(images.size(), TMRImage::kMaxSide + 1));
    if (m > TMRImage::kMaxSide || !(first.GetThickness() > 0.0f)) {
        vx::Report("The images must be a stack of at most " + std::to_string(TMRImage::kMaxSide) +
                       " slices of a known thickness.",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    const int w = first.GetWidth(), h = first.GetHeight();
    const float stackFOV = static_cast<float>(m) * first.GetThickness();
    int xa = 0, ya = 0;
    TMRImage::InPlaneAxes(source, xa, ya);
    static const char* const kSuffix[3] = {"_recon_sag_", "_recon_cor_", "_recon_tra_"};

    // t = 0 cuts across the source columns, t = 1 across the source rows.
    const int newOrientation[2] = {xa, ya};
    const int count[2] = {w, h};
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < count[t]; ++k) {
            const std::string name = DerivedName(first, kSuffix[newOrientation[t]], k);
            if (DerivedNameTaken(name, DerivedPath(first, name)))
                return false;
        }

    std::vector<const int16_t*> pixels;
    for (TMRImage* image : images)
        pixels.push_back(SourcePixels(*image));
    float rotation[9], inverse[9], mid[3], last[3], angulation[3], offCentre[3];
    first.GetRotation(rotation);
    first.GetInverseRotation(inverse);
    first.GetPosition(mid);
    images.back()->GetPosition(last);
    for (int d = 0; d < 3; ++d)
        mid[d] = (mid[d] + last[d]) / 2;
    first.GetAngulation(angulation);
    first.GetOffCentre(offCentre);
    TCSISet* workSet = m_pProject ? m_pProject->m_pWorkSet : nullptr;

    std::vector<TMRImage*> added;  // all of them or none stay
    for (int t = 0; t < 2; ++t) {
        const int o = newOrientation[t];
        const int n = count[t];
        const float fovK = t == 0 ? first.GetFOVX() : first.GetFOVY();
        // The new image's columns and rows: the stack along one, the source pixels
        // across the cut along the other.
        int nxa = 0, nya = 0;
        TMRImage::InPlaneAxes(o, nxa, nya);
        const bool stackAcross = nxa == source;
        const int other = t == 0 ? h : w;
        const float otherFOV = t == 0 ? first.GetFOVY() : first.GetFOVX();
        const int width = stackAcross ? m : other, height = stackAcross ? other : m;
        for (int k = 0; k < n; ++k) {
            auto image = std::make_unique<TMRImage>(m_pProject);
            const std::string name = DerivedName(first, kSuffix[o], k);
            image->SetName(name, false);
            image->SetPath(DerivedPath(first, name));
            image->SetWidth(width, false);
            image->SetHeight(height, false);
            image->SetOrientation(o, false);
            image->SetParameter(stackAcross ? stackFOV : otherFOV, TMRImage::ParamFOVX, false);
            image->SetParameter(stackAcross ? otherFOV : stackFOV, TMRImage::ParamFOVY, false);
            image->SetParameter(fovK / static_cast<float>(n), TMRImage::ParamThickness, false);
            // Stacks other than axial run their rows from the top down.
            const int half = n / 2;
            const float position = (t == 1 && source != 2 ? static_cast<float>(half - k) : static_cast<float>(k - half)) *
                                   fovK / static_cast<float>(n);
            image->SetParameter(position, TMRImage::ParamSlicePosition, false);
            for (int info : {TMRImage::InfoPatientName, TMRImage::InfoExamName, TMRImage::InfoProtocolName,
                             TMRImage::InfoExamDate})
                image->SetInfoText(first.GetInfoText(info), info, false);
            image->SetParameter(first.GetTR(), TMRImage::ParamTR, false);
            image->SetParameter(first.GetTE(), TMRImage::ParamTE, false);
            for (int d = 0; d < 3; ++d) {
                image->SetParameter(angulation[d], TMRImage::ParamAngulationX + d, false);
                image->SetParameter(offCentre[d], TMRImage::ParamOffCentreX + d, false);
            }
            image->SetRotation(rotation);
            image->SetInverseRotation(inverse);
            float p[3] = {0, 0, 0};
            p[o] = position;
            TransformPoint(rotation, inverse, mid, p, 1);
            for (int d = 0; d < 3; ++d)
                image->SetParameter(p[d], TMRImage::ParamPositionX + d, false);
            // Placed in the work set's frame; without one the computed slice position
            // stands (the image's own frame would put every image at 0).
            if (workSet)
                image->LocateInCSISet(workSet);
            // The letters of the axes the columns and rows run along.
            image->SetInfoText(std::string{kAxisLetter[nxa], kAxisLetter[nya]}, TMRImage::InfoDirectionCode, false);

            std::vector<int16_t> values(static_cast<size_t>(width) * static_cast<size_t>(height));
            for (int i = 0; i < m; ++i)
                for (int j = 0; j < other; ++j) {
                    const int column = t == 0 ? k : j, row = t == 0 ? j : k;
                    const int16_t v = pixels[static_cast<size_t>(i)]
                                          ? pixels[static_cast<size_t>(i)][static_cast<size_t>(row) * w + column]
                                          : int16_t{0};
                    const int x = stackAcross ? i : j, y = stackAcross ? j : i;
                    values[static_cast<size_t>(y) * width + x] = v;
                }
            image->SetPixels(std::move(values));
            TakeRangesFromPixels(*image);
            TMRImage* pImage = image.release();
            if (!AddNew(pImage, kNotAdded)) {
                DropNewImages(added);
                return false;
            }
            added.push_back(pImage);
        }
    }
    return true;
}

bool TImageSet::AverageImages(const std::vector<TMRImage*>& images)
{
    TCSISet* set = m_pProject ? m_pProject->m_pWorkSet : nullptr;
    if (!set || !CheckSources(images))
        return false;
    const TMRImage& first = *images.front();
    const int o = first.GetOrientation();
    int xa = 0, ya = 0;
    if (!TMRImage::InPlaneAxes(o, xa, ya))
        return false;
    const int n = set->m_nDim[o];
    if (n < 1 || static_cast<size_t>(n) > TCSISet::kMaxVoxels)
        return false;
    const bool stacked = set->m_bMultiSlice == 1 && set->m_nSliceAxis == o;

    struct TSlab {
        int slice;
        float centre;
        std::vector<TMRImage*> members;
    };
    std::vector<TSlab> slabs;
    for (int s = 0; s < n; ++s) {
        const double offset = s - n / 2.0 + 0.5;
        double c = stacked ? (static_cast<double>(set->m_fSliceThickness) + set->m_fSliceGap) * offset
                           : offset * set->m_fFOV[o] / n;
        const double width = stacked ? set->m_fSliceThickness : static_cast<double>(set->m_fFOV[o]) / n;
        c += set->m_fVoxelShift[o];
        TSlab slab{s, static_cast<float>(c), {}};
        for (TMRImage* image : images) {
            const double p = image->GetSlicePosition();
            if (p >= c - width / 2 && p <= c + width / 2)
                slab.members.push_back(image);
        }
        if (slab.members.empty())
            continue;
        const std::string name = DerivedName(first, "_average_", s);
        if (DerivedNameTaken(name, DerivedPath(first, name)))
            return false;
        slabs.push_back(std::move(slab));
    }

    const size_t count = static_cast<size_t>(first.GetWidth()) * static_cast<size_t>(first.GetHeight());
    std::vector<TMRImage*> added;  // all of them or none stay
    for (const TSlab& slab : slabs) {
        TMRImage& base = *slab.members.front();
        auto image = std::make_unique<TMRImage>(m_pProject);
        image->CopyHeaderFrom(base);
        const std::string name = DerivedName(first, "_average_", slab.slice);
        image->SetName(name, false);
        image->SetPath(DerivedPath(first, name));
        image->SetParameter(slab.centre, TMRImage::ParamSlicePosition, false);
        float p[3];
        p[o] = slab.centre;
        p[xa] = base.GetCentre().x;
        p[ya] = base.GetCentre().y;
        set->TransformPoint(p, 3);
        image->SetPosition(p);

        // Wide sums, saturated to the 16-bit pixel range at the end.
        std::vector<int64_t> sum(count, 0);
        for (TMRImage* member : slab.members)
            if (const int16_t* src = SourcePixels(*member))
                for (size_t k = 0; k < count; ++k)
                    sum[k] += src[k];
        std::vector<int16_t> values(count);
        for (size_t k = 0; k < count; ++k)
            values[k] = static_cast<int16_t>(std::clamp<int64_t>(sum[k], -32768, 32767));
        image->SetPixels(std::move(values));
        TakeRangesFromPixels(*image);
        TMRImage* pImage = image.release();
        if (!AddNew(pImage, kNotAdded)) {
            DropNewImages(added);
            return false;
        }
        added.push_back(pImage);
    }
    return true;
}
