#pragma once
// Field layouts: where a field of a header block lies for a version key.
#include <vector>

// {byte offset from the start of the block, size in bytes}; a few fields add
// a third entry. Offset -1 means the version's layout lacks the field; version
// key -1 gives {-1, -1}.
using GELayout = std::vector<int>;

// A field-layout function: the layout of one field for a version key.
using GELayoutFn = GELayout (*)(const int& version_key);
