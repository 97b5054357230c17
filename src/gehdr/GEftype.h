#pragma once
// Identification of GE raw-data (P-file) and Genesis image files.
#include <string>
#include <vector>

// Finds which kind of file, which layout and which byte order `source` has.
// `source` is a file name; when no file of that name can be opened (or it
// holds a NUL byte, which no file name does) it is taken as the header bytes
// themselves. Returns {file type (0 raw, 1 image), version key, header size,
// byte order (0 big-endian, 1 little-endian)}, each -1 when not found. The
// header size of a raw file is its layout's fixed size; that of an image file
// is its header-length word plus the offset of its control block (-1 when
// that word cannot be read or the sum does not fit an int).
std::vector<int> GEftype(const std::string& source);
