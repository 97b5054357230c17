#pragma once
// The two records that pass between the plug-in reader and a reader plug-in:
//
// Parameter record (116 bytes, filled from the read parameters, read back after the
// call): little-endian 32-bit integers and floats, one-byte flags, at fixed offsets.
//
// CSI set record (owned by the plug-in): the grid, acquisition and geometry values at
// fixed offsets, sixteen-byte text objects whose second eight-byte word points to
// zero-terminated characters (null for an empty text), and at byte 336 the pointer to
// the samples: 2 * points * nx * ny * nz floats, real and imaginary interleaved, x
// fastest. On this 64-bit platform pointers are eight bytes wide.
#include <cstddef>
#include <cstdint>

#include "model/TCSIReadParams.h"

class TCSISet;

constexpr size_t kPluginParamsBytes = 116;
constexpr size_t kPluginSetTextOffset[7] = {160, 176, 192, 208, 224, 240, 256};
constexpr size_t kPluginSetSamplesOffset = 336;
constexpr size_t kPluginSetRecordBytes = kPluginSetSamplesOffset + sizeof(void*);

// Writes the fields of the block into the parameter record (fill bytes zero).
void PackPluginParams(const TCSIReadParams& params, unsigned char record[kPluginParamsBytes]);
// Reads every field of the parameter record back into the block; the spatial
// dimensions and the format index are not part of the record and stay.
void UnpackPluginParams(const unsigned char record[kPluginParamsBytes], TCSIReadParams& params);

// Copies the values of a CSI set record into the set (not the samples).
void CopyPluginSetRecord(const unsigned char* record, TCSISet& set);
// The sample pointer of a CSI set record (may be null).
const float* PluginSetSamples(const unsigned char* record);
