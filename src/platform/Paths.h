#pragma once
// Path text helpers. Paths may come from files written on Windows, so they are
// split at both "/" and "\"; joined paths use "/".
#include <optional>
#include <string>
#include <vector>

namespace vx {

// Folder part without the trailing separator ("" when there is none).
std::string FolderOf(const std::string& path);
// Last component ("scan.SPAR" of "C:\data\scan.SPAR").
std::string FileNameOf(const std::string& path);
// Extension with its dot ("" when the file name has none).
std::string ExtensionOf(const std::string& path);
// File name without its extension.
std::string StemOf(const std::string& path);
// Path without its extension (folder kept).
std::string WithoutExtension(const std::string& path);
// folder + "/" + name; either part may be empty.
std::string JoinPath(const std::string& folder, const std::string& name);
// Every path separator turned into "/".
std::string ToNativePath(const std::string& path);

// Case-insensitive ASCII comparison and lower-casing.
bool EqualsNoCase(const std::string& a, const std::string& b);
std::string ToLowerAscii(std::string s);
std::string ToUpperAscii(std::string s);

// The path with `extension` (".txt") appended unless the path holds it somewhere in any
// case. The chosen name is kept as it is: on a case-sensitive file system another case
// would name another file.
std::string WithExtensionIfMissing(const std::string& path, const std::string& extension);

// Wildcard match with "*" and "?", case-insensitive ("*.SPAR" matches "a.spar").
bool WildcardMatch(const std::string& pattern, const std::string& name);
// The same as a folder search takes a pattern: one that ends in ".*" also matches names
// without a dot ("P*.*" matches "P12345").
bool SearchPatternMatch(const std::string& pattern, const std::string& name);

// A name that is to become one file name: not empty, not "." or "..", no separators,
// no control characters.
bool IsSafeFileComponent(const std::string& name);
// The name with separators and control characters replaced by "_".
std::string SanitizeFileComponent(const std::string& name);

}  // namespace vx
