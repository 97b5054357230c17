#include "platform/TDynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace vx {

TDynamicLibrary::~TDynamicLibrary() { Close(); }

TDynamicLibrary::TDynamicLibrary(TDynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)),
      m_path(std::move(other.m_path)),
      m_error(std::move(other.m_error))
{
}

TDynamicLibrary& TDynamicLibrary::operator=(TDynamicLibrary&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool TDynamicLibrary::Open(const std::string& path)
{
    Close();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* e = dlerror();
        m_error = e ? e : "cannot load " + path;
        return false;
    }
    m_path = path;
    m_error.clear();
    return true;
}

void TDynamicLibrary::Close()
{
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
    m_path.clear();
}

void* TDynamicLibrary::Symbol(const std::string& name) const
{
    if (!m_handle)
        return nullptr;
    return dlsym(m_handle, name.c_str());
}

void* LoadedSymbol(const std::string& name) { return dlsym(RTLD_DEFAULT, name.c_str()); }

const char* SharedLibrarySuffix() { return ".so"; }

}  // namespace vx
