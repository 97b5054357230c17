#pragma once
// Loaded CSI sets with samples computed by the test, and the samples of a set in voxel
// order, for the tests of the set's operations and transforms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMap.h"
#include "model/TMRImage.h"
#include "model/TProject.h"

namespace vx::test {

// A loaded set of nx x ny x nz voxels of n points; sample i of voxel v is f(v, i).
template <typename F>
void FillSet(TCSISet& set, int nx, int ny, int nz, int n, F f)
{
    set.m_nDim[0] = nx;
    set.m_nDim[1] = ny;
    set.m_nDim[2] = nz;
    set.m_nPoints = n;
    ASSERT_TRUE(set.AllocateVoxels());
    set.InitVoxels();
    std::vector<TComplex> s;
    for (size_t v = 0; v < set.VoxelCount(); ++v) {
        s.clear();
        for (int i = 0; i < n; ++i)
            s.push_back(f(static_cast<int>(v), i));
        set.GetVoxel(v)->SetComplexData(s.data());
    }
    set.m_bLoaded = true;
}

// The same with sample i of voxel (x, y, z) given by f(x, y, z, i); voxels are stored
// x fastest, then y, then z.
template <typename F>
void FillGrid(TCSISet& set, int nx, int ny, int nz, int n, F f)
{
    FillSet(set, nx, ny, nz, n, [&](int v, int i) { return f(v % nx, v / nx % ny, v / (nx * ny), i); });
}

// Adds to the project a set of that name filled by FillGrid, 1000 Hz wide at 63.9 MHz,
// whose samples are in its data-set file in the folder only (not loaded).
template <typename F>
TCSISet* AddStoredSet(TProject& project, const std::string& folder, const std::string& name, int nx, int ny, int nz,
                      int n, F f)
{
    auto* set = new TCSISet(&project);
    project.m_pCSISetList->Add(set);
    FillGrid(*set, nx, ny, nz, n, f);
    set->m_nSpectralWidth = 1000;
    set->m_fFrequency = 63.9f;
    set->m_strName = name;
    set->SetFolder(folder);
    EXPECT_TRUE(set->WriteDataFile(set->GetFilePath())) << name;
    set->FreeSpectra();
    return set;
}

// Adds to the project a set of nx x ny x nz voxels of 8 points, sample i of voxel (x, y, z)
// being (x + y + z, i), whose data-set file is written in the folder; it is not loaded.
inline TCSISet* AddWrittenSet(TProject& project, const std::string& folder, const std::string& name, int nx, int ny,
                              int nz)
{
    return AddStoredSet(project, folder, name, nx, ny, nz, 8,
                        [](int x, int y, int z, int i) { return TComplex(x + y + z, i); });
}

// Adds to the project a width x height image of that name, every pixel `value`, whose
// pixel file is written in the folder.
inline TMRImage* AddStoredImage(TProject& project, const std::string& folder, const std::string& name, int width,
                                int height, int16_t value)
{
    auto* image = new TMRImage(&project);
    image->SetName(name, false);
    image->SetWidth(width, false);
    image->SetHeight(height, false);
    image->SetPath(folder + "/" + name);
    EXPECT_TRUE(image->SetPixels(std::vector<int16_t>(static_cast<size_t>(width) * height, value))) << name;
    EXPECT_TRUE(image->SavePixels(image->GetPath())) << name;
    project.m_pImageSet->Insert(image);
    return image;
}

// Samples 0..N-1 of every voxel in voxel order, N the set's point count.
inline std::vector<TComplex> AllSamples(const TCSISet& set)
{
    std::vector<TComplex> out;
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        for (int i = 0; i < set.m_nPoints; ++i)
            out.emplace_back(set.GetVoxel(v)->GetReal(i), set.GetVoxel(v)->GetImag(i));
    return out;
}

// Adds a map of that name (and no values) to the set: by default one that has a map
// file, as a map read with the project; TMap::kNeverSaved for a map made since.
inline TMap* AddNamedMap(TCSISet& set, const std::string& name, int32_t state = TMap::kSaved)
{
    auto* map = new TMap(&set);
    map->name = name;
    map->SetState(state);
    set.AddMap(map);
    return map;
}

// The same with a grid of the set's matrix size whose value at voxel v is f(v), and
// its statistics; never saved.
template <typename F>
TMap* AddValuedMap(TCSISet& set, const std::string& name, F f)
{
    TMap* map = AddNamedMap(set, name, TMap::kNeverSaved);
    std::vector<TComplex> values;
    for (size_t v = 0; v < set.GridSize(); ++v)
        values.push_back(f(static_cast<int>(v)));
    EXPECT_TRUE(map->SetGrid(set.m_nDim, std::move(values)));
    map->UpdateStatistics();
    return map;
}

}  // namespace vx::test
