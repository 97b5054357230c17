#pragma once
// The argument the GE header classes take is a file name or, when no file of
// that name can be opened, the header bytes themselves.
#include <cstdint>
#include <fstream>
#include <string>

// Opens `source` for binary reading when it can name a file (it is not empty
// and holds no NUL byte) and a regular file of that name opens.
bool GEOpenSourceFile(const std::string& source, std::ifstream& file);

// Number of bytes the open file holds, or -1.
std::int64_t GESourceFileSize(std::ifstream& file);

// `source` as it may appear in a one-line message: itself when it is a short
// printable text (a file name), else a description of the bytes.
std::string GESourceForMessage(const std::string& source);

// `n` zero bytes (none for a negative n): the contents of a blank block.
std::string GEZeros(int n);

// Copies `length` bytes at `offset` of `header` into `out`. A run that does
// not lie wholly inside the header (negative values included) is refused with
// one line "<prefix>Block at <offset> of <length> bytes lies outside the
// header of <size> bytes" on stderr; `out` is then left unchanged.
bool GETakeRun(const std::string& header, std::int64_t offset, std::int64_t length, std::string& out,
               const char* prefix);

// Reads the first `size` bytes of the open file into `out`, after checking
// that the file holds them and that `size` is at most `limit`. Reports on
// stderr after `prefix` and returns false on failure.
bool GEReadHeaderBytes(std::ifstream& file, std::int64_t size, std::int64_t limit, const std::string& source,
                       std::string& out, const char* prefix);
