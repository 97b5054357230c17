#pragma once
// What the CSI reader tests share: a read through the factory's reader of a format, and
// batch mode for the length of a test.
#include <cstdint>
#include <memory>
#include <string>

#include "model/TCSISet.h"
#include "platform/Globals.h"
#include "readers/ReaderFactory.h"

namespace vx::test {

// With `headerOnly` the reader only checks the files, as Add Exam's trial reads them.
inline std::unique_ptr<TCSISet> ReadAs(int format, const std::string& path, TCSIReadParams p = {},
                                       bool headerOnly = false)
{
    p.m_nFormat = format;
    std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(format), &p));
    if (headerOnly)
        reader->ReadHeaderOnly();
    return std::unique_ptr<TCSISet>(reader->Read(path));
}

// No questions; messages go to the batch log.
struct TBatchMode {
    TBatchMode() { vx::ResetGlobals(), g_bBatchMode = true; }
    ~TBatchMode() { vx::ResetGlobals(); }
};

}  // namespace vx::test
