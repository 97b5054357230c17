#!/usr/bin/env python3
"""Packs the golden CSI data-set files used by CSISetFileTest.cpp.

Every layout version 0 to 9 of the data-set file is packed field by field with
the struct module from the layout table below, independently of the program's
own writer. Run it from anywhere; it rewrites tests/model/golden/dataset_vN.bin.

The values are the fixture of CSISetFileTest.cpp (GoldenParams and
GoldenSample); change both together.
"""
import os
import struct

HEADER_SIZE = 256

# (offset, field, struct format, version from which the field is present)
LAYOUT = [
    (0, "version", "<i", 2),
    (4, "header size", "<i", 2),
    (8, "voxel shift", "<3f", 2),
    (20, "field of view", "<3f", 2),
    (32, "matrix size", "<3i", 2),
    (44, "points", "<i", 2),
    (48, "first and last point", "<2i", 2),
    (56, "spectral width", "<i", 2),
    (60, "frequency", "<f", 2),
    (64, "ppm centre", "<f", 2),
    (68, "ppm reference", "<f", 2),
    (72, "zero-order phase", "<f", 2),
    (76, "first-order phase", "<f", 2),
    (80, "pivot", "<i", 2),
    (84, "reader flag", "<i", 2),
    (88, "domain flag", "<i", 2),
    (92, "reader word", "<i", 2),
    (96, "echo position", "<i", 2),
    (100, "dimensions", "<i", 2),
    (104, "slice axis", "<i", 2),
    (108, "TR", "<f", 2),
    (112, "TE", "<f", 2),
    (116, "acquisition value", "<f", 2),
    (120, "k-space flag", "<i", 3),
    (124, "multi-slice flag", "<i", 3),
    (128, "angulation", "<3f", 3),
    (140, "off-centre", "<3f", 3),
    (152, "rotation", "<9f", 4),
    (188, "broadening", "<2f", 9),
]

NX, NY, NZ, POINTS = 3, 2, 2, 4

VALUES = {
    "header size": (256,),
    "voxel shift": (1.5, -2.25, 3.0),
    "field of view": (220.0, 200.0, 30.0),
    "matrix size": (NX, NY, NZ),
    "points": (POINTS,),
    "first and last point": (1, 3),
    "spectral width": (2000,),
    "frequency": (127.75,),
    "ppm centre": (2.5,),
    "ppm reference": (4.75,),
    "zero-order phase": (0.5,),
    "first-order phase": (-1.25,),
    "pivot": (2,),
    "reader flag": (1,),
    "domain flag": (1,),
    "reader word": (22,),
    "echo position": (1,),
    "dimensions": (3,),
    "slice axis": (2,),
    "TR": (1500.0,),
    "TE": (144.0,),
    "acquisition value": (8.0,),
    "k-space flag": (0,),
    "multi-slice flag": (1,),
    "angulation": (10.0, -5.0, 2.5),
    "off-centre": (-12.5, 30.25, 7.0),
    "rotation": (2.0, 1.0, 0.5, 0.25, 3.0, 1.0, 1.0, 0.5, 4.0),
    "broadening": (1.5, 2.75),
}


def sample(x, y, z, k):
    """Complex sample k of voxel (x, y, z): exact in single precision."""
    return (x + 10.0 * y + 100.0 * z + 0.25 * k, -0.5 * (k + 1) - 1000.0 * z)


def header(version):
    buf = bytearray(HEADER_SIZE)
    end = 0
    for offset, name, fmt, since in LAYOUT:
        if version < since:
            continue
        values = (version,) if name == "version" else VALUES[name]
        struct.pack_into(fmt, buf, offset, *values)
        end = max(end, offset + struct.calcsize(fmt))
    # The reserved bytes after the last field stay zero.
    assert end <= HEADER_SIZE
    return bytes(buf)


def samples():
    out = bytearray()
    for z in range(NZ):
        for y in range(NY):
            for x in range(NX):
                for k in range(POINTS):
                    out += struct.pack("<2f", *sample(x, y, z, k))
    return bytes(out)


def main():
    # Offsets of the table must follow each other without gaps.
    pos = 0
    for offset, name, fmt, _ in LAYOUT:
        assert offset == pos, name
        pos += struct.calcsize(fmt)
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden")
    os.makedirs(folder, exist_ok=True)
    for version in range(10):
        data = (header(version) if version >= 2 else b"") + samples()
        with open(os.path.join(folder, "dataset_v%d.bin" % version), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
