#include "platform/Paths.h"

#include <algorithm>

namespace vx {
namespace {
bool IsSep(char c) { return c == '/' || c == '\\'; }

size_t LastSep(const std::string& path)
{
    for (size_t i = path.size(); i > 0; --i)
        if (IsSep(path[i - 1]))
            return i - 1;
    return std::string::npos;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string FolderOf(const std::string& path)
{
    const size_t p = LastSep(path);
    if (p == std::string::npos)
        return {};
    if (p == 0)
        return path.substr(0, 1);
    return path.substr(0, p);
}

std::string FileNameOf(const std::string& path)
{
    const size_t p = LastSep(path);
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtensionOf(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    return name.substr(dot);
}

std::string StemOf(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name;
    return name.substr(0, dot);
}

std::string WithoutExtension(const std::string& path)
{
    const std::string ext = ExtensionOf(path);
    return path.substr(0, path.size() - ext.size());
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (name.empty())
        return folder;
    if (IsSep(folder.back()))
        return folder.substr(0, folder.size() - 1) + "/" + name;
    return folder + "/" + name;
}

std::string ToNativePath(const std::string& path)
{
    std::string out = path;
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

std::string ToLowerAscii(std::string s)
{
    for (char& c : s)
        c = LowerAscii(c);
    return s;
}

bool SearchPatternMatch(const std::string& pattern, const std::string& name)
{
    if (WildcardMatch(pattern, name))
        return true;
    const bool anyExtension = pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0;
    return anyExtension && WildcardMatch(pattern.substr(0, pattern.size() - 2), name);
}

std::string WithExtensionIfMissing(const std::string& path, const std::string& extension)
{
    if (ToLowerAscii(path).find(ToLowerAscii(extension)) != std::string::npos)
        return path;
    return path + ToLowerAscii(extension);
}

std::string ToUpperAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool WildcardMatch(const std::string& pattern, const std::string& name)
{
    // Iterative matcher with backtracking to the last "*".
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool IsSafeFileComponent(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == '/' || c == '\\')
            return false;
    return true;
}

std::string SanitizeFileComponent(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == '/' || c == '\\')
            c = '_';
    if (out.empty() || out == "." || out == "..")
        out = "_" + out;
    return out;
}

}  // namespace vx
