#pragma once
// What the project and the CSI set record need of metabolite maps, until the map
// classes arrive: the map library installs these. With nothing installed a set has no
// maps: no names are written, map files named in a record are not read, and nothing is
// found.
#include <functional>
#include <string>
#include <vector>

class TCSISet;
class TMap;

struct TMapHooks {
    // Reads the map file at `path` into a new map of the set named `name` and adds it
    // to the set; false (nothing added) when the file does not read.
    std::function<bool(TCSISet& set, const std::string& name, const std::string& path)> readMap;
    // Names of the set's maps that are stored with the project, in list order.
    std::function<std::vector<std::string>(const TCSISet& set)> storedMapNames;
    // Writes every map file of the set beside its data-set file; false when one failed.
    std::function<bool(TCSISet& set)> writeMapFiles;
    // Number of maps the set holds.
    std::function<int(const TCSISet& set)> mapCount;
    // The set's map of that name, or null.
    std::function<TMap*(const TCSISet& set, const std::string& name)> findMap;
    // Appends the set's maps that are offered as quantification references.
    std::function<void(const TCSISet& set, std::vector<TMap*>& maps)> collectMarkedMaps;
    // Computes every map of the set again from its current spectra.
    std::function<void(TCSISet& set)> updateMaps;
    // A new set (owned by the caller) whose voxel grid is the set's, zero filled in
    // k-space to the matrix size; null when it cannot be made (reported).
    std::function<TCSISet*(TCSISet& set, const int size[3])> createZeroFilledSet;
};

void InstallMapHooks(TMapHooks hooks);
const TMapHooks& MapHooks();
