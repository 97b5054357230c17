#pragma once
// The grid sizes and the point count of a CSI set's samples: a data-set file can stand in
// for a set's samples (an undo state) only when they are the same.
struct TSampleShape {
    int dims[3] = {0, 0, 0};
    int points = 0;
    bool operator==(const TSampleShape&) const = default;
};
