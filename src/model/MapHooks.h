#pragma once
// The map file's part of the project and the spatial zero filling of a set, until they
// are built: whoever provides them installs these. With nothing installed the map files
// named in a set record are not read, the maps of a set are not written, and the zero
// filling of a set's grid is reported as not available.
#include <functional>
#include <string>

class TCSISet;

struct TMapHooks {
    // Reads the map file at `path` into a new map of the set named `name` and adds it
    // to the set; false (nothing added) when the file does not read.
    std::function<bool(TCSISet& set, const std::string& name, const std::string& path)> readMap;
    // Writes every map file of the set beside its data-set file; false when one failed.
    std::function<bool(TCSISet& set)> writeMapFiles;
    // A new set (owned by the caller) whose voxel grid is the set's, zero filled in
    // k-space to the matrix size; null when it cannot be made (reported).
    std::function<TCSISet*(TCSISet& set, const int size[3])> createZeroFilledSet;
};

void InstallMapHooks(TMapHooks hooks);
const TMapHooks& MapHooks();
