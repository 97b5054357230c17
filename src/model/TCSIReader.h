#pragma once
// The abstract CSI reader: one object per read of one data file. The readers library
// derives every format's reader from it and adds the reading steps they share; the
// project only creates a reader (CreateCSIReader), calls Read and deletes it.
#include <string>

#include "model/TCSIReadParams.h"

class TCSISet;

class TCSIReader {
public:
    // Keeps its own copy of the block.
    explicit TCSIReader(const TCSIReadParams* pParams);
    virtual ~TCSIReader();
    TCSIReader(const TCSIReader&) = delete;
    TCSIReader& operator=(const TCSIReader&) = delete;

    // Reads the data file: a new set owned by the caller, or null after the reader has
    // reported the cause (message box, or the batch log in batch mode).
    virtual TCSISet* Read(std::string path) = 0;

protected:
    TCSIReadParams m_params;
};
