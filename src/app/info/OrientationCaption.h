#pragma once
// The orientation names of the explorer's groups and the information pages (spelled as
// the program has always shown them): "Saggital", "Coronal", "Axial" for 0, 1, 2 and
// an empty text for anything else.
#include <string>

namespace vx::app {

inline std::string OrientationCaption(int orientation)
{
    switch (orientation) {
    case 0: return "Saggital";
    case 1: return "Coronal";
    case 2: return "Axial";
    default: return {};
    }
}

}  // namespace vx::app
