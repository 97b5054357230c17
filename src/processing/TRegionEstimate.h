#pragma once
// The spectrum that the project's work set gives for exactly the area of a set of
// user-drawn regions: the grid's spatial frequencies weighted with the Fourier transform
// of the regions' mask, instead of whole voxels added up. The result is the signal of the
// area in units of voxels: where every voxel holds the same spectrum, a region of one
// voxel's area gives that spectrum wherever it lies; a region covering every voxel of a
// one-slice set gives the sum of their spectra. Regions on images of different CSI
// slices are combined through the frequencies along the slice axis, scaled per
// millimetre of that axis.
//
// The weighting is carried out on the voxels: the mask's transform over the grid's
// frequencies, taken back onto the voxel grid, gives every voxel a complex weight, and the
// result is the sum of the voxel spectra times the conjugate weights. The work set is
// read, never reordered or transformed; a set held in k-space is weighted with the
// weights taken into its k-space, so both forms of one set give one result.
//
// Mask cells and voxels are matched by their centres, so a region covering exactly one
// voxel weights that voxel symmetrically whatever the image's pixel count.
#include <complex>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <vector>

class IRegionView;
class TCSISet;
class TDrawnRegion;
class TMRImage;
class TSpectrum;

class TRegionEstimate {
public:
    TRegionEstimate();
    virtual ~TRegionEstimate();
    TRegionEstimate(const TRegionEstimate&) = delete;
    TRegionEstimate& operator=(const TRegionEstimate&) = delete;

    // Takes the regions of the first one's orientation out of the map, in key order (the
    // estimate owns them from then on), and deletes the others with a warning naming the
    // orientation kept; the map ends empty. False for an empty map.
    bool SetRegions(std::map<int, TDrawnRegion*>& regions);
    // Estimates the spectrum of the regions from the work set of the first region's
    // image's project. False, the previous result kept, when there are no regions, no
    // loaded work set, the image has fewer pixels than the grid has voxels along an
    // in-plane axis, or a region's mask cannot be made (a region outside the image or
    // the CSI slice). The caller reports the failure.
    bool Estimate();
    // Every region in order.
    void Draw(IRegionView& view) const;

    const std::list<TDrawnRegion*>& GetRegions() const { return m_regions; }
    // The estimated spectrum; null until the first successful estimate. Later estimates
    // write into the same object.
    TSpectrum* GetResult() const { return m_pResult.get(); }
    // The regions' area times a thickness (mm^3): for one CSI slice the slice's
    // thickness, for several each image's.
    float GetRegionSize() const { return m_fRegionSize; }
    // The set of the last successful estimate (its result refers to it).
    bool UsesSet(const TCSISet* set) const { return set && set == m_pSet; }
    bool UsesImage(const TMRImage* image) const;

    uint8_t m_bWindow = 0;  // the main frame has opened the estimate's voxel window
    uint8_t m_bHighlight = 0;  // its regions are drawn highlighted (its window is active)

private:
    // The regions' masks over the CSI slices: one plane for regions in one CSI slice,
    // else one per image plane inside the set along the slice axis.
    struct TWeightPlane {
        double slice = 0.0;          // slice coordinate: voxel k's centre at k
        float thickness = 0.0f;      // mm
        std::vector<uint8_t> mask;   // width x height cells, 1 inside
    };
    struct TWeightGrid {
        int width = 0;
        int height = 0;
        bool multiSlice = false;
        std::vector<TWeightPlane> planes;
        const TSpectrum* firstVoxel = nullptr;  // the result takes its parameters
        float size = 0.0f;
    };
    bool BuildWeightGrid(TCSISet& set, TWeightGrid& grid) const;
    // The complex weight of every voxel of the set (o the slice axis), taken into the
    // set's k-space when it is held there. False for a k-space length the FFT refuses.
    static bool VoxelWeights(const TCSISet& set, int o, const TWeightGrid& grid,
                             std::vector<std::complex<double>>& weights);

    std::list<TDrawnRegion*> m_regions;  // owned
    std::unique_ptr<TSpectrum> m_pResult;
    float m_fRegionSize = 0.0f;
    const TCSISet* m_pSet = nullptr;  // not owned
};
