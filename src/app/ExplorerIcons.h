#pragma once
// The project explorer's item icons, drawn at run time (16 x 16 pixels).
#include <QIcon>

namespace vx::app {

// Icon indices of the explorer's items.
enum ExplorerIconIndex : int {
    kIconImages = 0,         // the "Images" root
    kIconCoronalGroup = 1,
    kIconSagittalGroup = 2,
    kIconAxialGroup = 3,
    kIconCSISet = 4,         // the "CSI" root and every set but the work set
    kIconImageUnplaced = 5,  // an image of unknown orientation or incomplete geometry
    kIconAxialImage = 6,
    kIconCoronalImage = 7,
    kIconSagittalImage = 8,
    kIconWorkSet = 9,
    kExplorerIconCount = 10
};

// The icon of an index; a null icon outside 0..kExplorerIconCount - 1.
QIcon ExplorerIcon(int index);

}  // namespace vx::app
