#pragma once
// The spectrum view of an "Average Voxel" window. It keeps the voxels collected in the
// image windows and shows one spectrum, their point-by-point mean, which it creates and
// owns; the tools of the spectrum view act on that mean.
#include <vector>

#include "views/spectrum/CVoxelWndView.h"

class CVoxelWndAvgView : public CVoxelWndView {
    Q_OBJECT
public:
    explicit CVoxelWndAvgView(QWidget* parent = nullptr);
    ~CVoxelWndAvgView() override;

    // A voxel not yet averaged joins the average; returns the number averaged.
    int AddVoxel(TSpectrum* voxel) override;
    // The mean of the averaged voxels, with the parameters of the first one added. The
    // mean object stays the same while the window lives.
    void Recompute() override;
    void SetVoxelsMark(bool mark) override;
    // The averaged voxels lose their flags and are repainted; the last mean stays shown
    // until the next voxel starts a new average.
    void ClearVoxels() override;
    // The averaged voxels (not the mean), for the marks in the image windows.
    std::vector<TSpectrum*> GetVoxels() const override { return m_avgVoxels; }

    std::vector<TSpectrum*> m_avgVoxels;  // not owned, in the order added
};
