#pragma once
// Where water and peak removal find the HLSVD routine: the run-time library
// libhlsvdpro.so beside the executable, else on the library search path.
#include <string>

#include "hlsvd/hlsvdpw.h"
#include "platform/TDynamicLibrary.h"

namespace vx {

inline constexpr const char* kHLSVDLibraryFile = "libhlsvdpro.so";
inline constexpr const char* kHLSVDRoutine = "hlsvdpw_";
using THLSVDRoutine = decltype(&hlsvdpw_);

// Opens the library into `library`. On failure `errorCode` is the system's error
// number of the last attempt (errno; 0 when the system gave none).
bool OpenHLSVDLibrary(TDynamicLibrary& library, int& errorCode);
// Looks up the routine; null, with `errorCode` as above, when the library lacks it.
THLSVDRoutine FindHLSVDRoutine(const TDynamicLibrary& library, int& errorCode);

// Tests point the lookup at one file (an empty path restores the usual search).
void SetHLSVDLibraryPath(const std::string& path);

}  // namespace vx
