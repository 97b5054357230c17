#pragma once
// The k-space windows of the voxel grid (Hamming, cosine, Fermi) as steps: the window
// runs along every axis of a three-dimensional acquisition, or along the two in-plane
// axes of the slice axis of a two-dimensional one (the lower axis first); a set of any
// other dimension count is left alone. The steps have no parameters of their own and
// share the state prefix "sf".
#include "processing/TWholeSetStep.h"

class TSpatialWindowStep : public TWholeSetStep {
public:
    // False, the set as it was, when a window along an axis failed.
    bool Apply() override;
    // A block without keys: the lines before "</action>" are passed over.
    bool ReadMacro(vx::TTextFile& file) override;
    void WriteMacro(vx::TTextFile& file) override;

protected:
    TSpatialWindowStep(int type, const char* title, bool recorded, TCSISet* pSet);

    // The window of TCSISet::SpatialFilter and its two parameters along an axis of n voxels.
    virtual int WindowType() const = 0;
    virtual void WindowParams(int n, float& p1, float& p2) const;

private:
    const char* m_pszTitle;  // the block's title line
};
