#!/usr/bin/env python3
"""Packs the golden map files used by TMapFileTest.cpp and the golden projects.

Every map file layout is packed field by field with the struct module from the
layout table below, independently of the program's own writer. All numbers are
4 bytes little-endian; texts are their bytes and one zero byte.

Layouts: the version word and the word 256, then the fields of LAYOUT present in
that version. Below version 3 the 112 header bytes are followed by 144 bytes that
a reader skips; versions 3 to 7 have 136 header bytes and 120 skipped bytes; in both
the values begin at offset 256. From version 8 the header is 192 bytes, the two
reference names follow it, then the values: nx*ny*nz pairs of floats (real,
imaginary), x fastest, then y, then z.

Run from anywhere: python3 tests/model/make_map_golden.py
It rewrites tests/model/golden/map_vN.bin. The values are the fixture of
TMapFileTest.cpp (GoldenParams, GoldenValue); change both together.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "golden")

# (offset, field, struct format, version from which the field is present)
LAYOUT = [
    (0, "version", "<i", 0),
    (4, "word 256", "<i", 0),
    (8, "voxelShift", "<3f", 0),
    (20, "fov", "<3f", 0),
    (32, "size", "<3i", 0),
    (44, "selectedOnly", "<i", 0),
    (48, "aux1", "<i", 0),
    (52, "peakEndPPM", "<f", 0),
    (56, "peakStartPPM", "<f", 0),
    (60, "aux2", "<i", 0),
    (64, "method", "<i", 0),
    (68, "aux3", "<i", 0),
    (72, "centreOnPeak", "<i", 0),
    (76, "ratioOfPeaks", "<i", 0),
    (80, "refPeakEndPPM", "<f", 0),
    (84, "refPeakStartPPM", "<f", 0),
    (88, "maxMagnitude", "<f", 0),
    (92, "maxImag", "<f", 0),
    (96, "maxReal", "<f", 0),
    (100, "minMagnitude", "<f", 0),
    (104, "minImag", "<f", 0),
    (108, "minReal", "<f", 0),
    (112, "angulation", "<3f", 3),
    (124, "offCentre", "<3f", 3),
    (136, "useInternalReference", "<i", 8),
    (140, "useReferenceMap", "<i", 8),
    (144, "molarUnit", "<i", 8),
    (148, "relaxationCorrection", "<i", 8),
    (152, "quantScale", "<f", 8),
    (156, "aux5", "<f", 8),
    (160, "aux6", "<f", 8),
    (164, "referenceConcentration", "<f", 8),
    (168, "aux4", "<i", 8),
    (172, "t1", "<f", 8),
    (176, "t2", "<f", 8),
    (180, "referenceVoxel", "<3i", 8),
]

NX, NY, NZ = 3, 2, 2

# Every field differs from the value a new map holds, so that a field left unread
# shows; all numbers are exact in single precision.
VALUES = {
    "word 256": (256,),
    "voxelShift": (1.5, -2.25, 3.0),
    "fov": (220.0, 200.0, 30.0),
    "size": (NX, NY, NZ),
    "selectedOnly": (1,),
    "aux1": (11,),
    "peakEndPPM": (1.75,),
    "peakStartPPM": (2.25,),
    "aux2": (12,),
    "method": (1,),
    "aux3": (13,),
    "centreOnPeak": (1,),
    "ratioOfPeaks": (1,),
    "refPeakEndPPM": (2.875,),
    "refPeakStartPPM": (3.125,),
    "maxMagnitude": (1200.5,),
    "maxImag": (-0.5,),
    "maxReal": (111.25,),
    "minMagnitude": (0.5,),
    "minImag": (-1012.0,),
    "minReal": (0.0,),
    "angulation": (10.0, -5.0, 2.5),
    "offCentre": (-12.5, 30.25, 7.0),
    "useInternalReference": (1,),
    "useReferenceMap": (1,),
    "molarUnit": (1,),
    "relaxationCorrection": (1,),
    "quantScale": (0.375,),
    "aux5": (4.5,),
    "aux6": (5.5,),
    "referenceConcentration": (10.5,),
    "aux4": (14,),
    "t1": (1400.0,),
    "t2": (250.0,),
    "referenceVoxel": (2, 1, 1),
}
NAMES = ("water", "water_map")

# Bytes a reader of an old layout skips: not zero, so that reading them shows.
FILLER = 0xA5


def value(x, y, z, offset=0.0):
    """Complex value of grid point (x, y, z): exact in single precision."""
    return (x + 10.0 * y + 100.0 * z + offset, -0.5 - 1000.0 * z + offset)


def header(version, values=VALUES):
    end = max(o + struct.calcsize(f) for o, _, f, since in LAYOUT if version >= since)
    buf = bytearray(end)
    for offset, name, fmt, since in LAYOUT:
        if version < since:
            continue
        fields = (version,) if name == "version" else values[name]
        struct.pack_into(fmt, buf, offset, *fields)
    if version < 8:
        buf += bytes([FILLER]) * (256 - len(buf))
    else:
        buf += b"".join(n.encode("latin-1") + b"\0" for n in NAMES)
    return bytes(buf)


def values_block(offset=0.0):
    out = bytearray()
    for z in range(NZ):
        for y in range(NY):
            for x in range(NX):
                out += struct.pack("<2f", *value(x, y, z, offset))
    return bytes(out)


def map_file(version, offset=0.0):
    """A whole map file of the layout of `version`; `offset` varies the values."""
    return header(version) + values_block(offset)


def main():
    # Offsets of the table must follow each other without gaps.
    pos = 0
    for offset, name, fmt, _ in LAYOUT:
        assert offset == pos, name
        pos += struct.calcsize(fmt)
    assert pos == 192
    assert len(header(2)) == len(header(5)) == 256
    os.makedirs(OUT, exist_ok=True)
    for version in (2, 5, 8, 9):
        with open(os.path.join(OUT, "map_v%d.bin" % version), "wb") as f:
            f.write(map_file(version))


if __name__ == "__main__":
    main()
