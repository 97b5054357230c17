#pragma once
// A CSI set's list of metabolite maps; the set owns it. Only what the set needs to
// own and delete it is here so far.
class TMapList {
public:
    virtual ~TMapList() = default;
};
