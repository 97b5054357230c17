#pragma once
// A shared object loaded at run time (reader plug-ins, the HLSVD routine).
#include <string>

namespace vx {

class TDynamicLibrary {
public:
    TDynamicLibrary() = default;
    ~TDynamicLibrary();
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;
    TDynamicLibrary(TDynamicLibrary&& other) noexcept;
    TDynamicLibrary& operator=(TDynamicLibrary&& other) noexcept;

    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }
    // Address of an exported symbol, or null.
    void* Symbol(const std::string& name) const;
    const std::string& LastError() const { return m_error; }
    const std::string& Path() const { return m_path; }

private:
    void* m_handle = nullptr;
    std::string m_path;
    std::string m_error;
};

// Address of a symbol exported by the program or a library loaded for the whole process
// (the program's own dependencies), or null.
void* LoadedSymbol(const std::string& name);

// File-name suffix of shared objects on this platform (".so").
const char* SharedLibrarySuffix();

}  // namespace vx
