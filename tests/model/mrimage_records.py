#!/usr/bin/env python3
"""Packs MR image records of the project file, one per stored layout, with struct.

The layout, all numbers 4 bytes little-endian, texts their bytes and one zero byte:
  id, width, height (int32); FOV x known, FOV y known, orientation known,
  slice position known (int32); FOV x, FOV y (float); orientation (int32);
  slice position (float); window low, window high (int32); centre x, centre y,
  shift x, shift y (float); name (text)
  version >= 1: patient name, exam name, protocol name, exam date (texts);
                TR, TE, slice thickness (float)
  version >= 3: off-centre x y z, angulation x y z, position x y z (float)
  version >= 4: rotation, 9 floats row by row; direction code, patient position,
                patient entry (texts)

Run from anywhere: python3 tests/model/mrimage_records.py
It rewrites tests/model/golden/mrimage_*.bin, which the tests read.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "golden")


def text(s):
    return s.encode("latin-1") + b"\0"


def record(version, *, id, width, height, known, fov, orientation, slice_pos,
           window, centre, shift, name, texts=None, tr_te_thick=None,
           off_centre=None, angulation=None, position=None, rotation=None,
           tail_texts=None):
    b = struct.pack("<3i", id, width, height)
    b += struct.pack("<4i", *known)
    b += struct.pack("<2f", *fov)
    b += struct.pack("<i", orientation)
    b += struct.pack("<f", slice_pos)
    b += struct.pack("<2i", *window)
    b += struct.pack("<4f", *centre, *shift)
    b += text(name)
    if version >= 1:
        b += b"".join(text(t) for t in texts)
        b += struct.pack("<3f", *tr_te_thick)
    if version >= 3:
        b += struct.pack("<9f", *off_centre, *angulation, *position)
    if version >= 4:
        b += struct.pack("<9f", *rotation)
        b += b"".join(text(t) for t in tail_texts)
    return b


COMMON = dict(id=3, width=192, height=160, known=(1, 1, 1, 1), fov=(230.0, 200.0),
              slice_pos=12.5, window=(-10, 900), centre=(4.0, -6.5), shift=(1.5, 2.0))
TEXTS_V1 = ("Doe^Jane", "Brain", "T1 SE", "2024.03.01 10:00")

RECORDS = {
    # version 0: axial, 68 bytes and a name
    "v0": record(0, **COMMON, orientation=2, name="ax0"),
    # version 0 of an image of unknown orientation
    "v0_orient3": record(0, **{**COMMON, "known": (1, 1, 0, 0)}, orientation=3, name="unk"),
    # version 1: sagittal, texts and times
    "v1": record(1, **COMMON, orientation=0, name="sag1", texts=TEXTS_V1,
                 tr_te_thick=(500.0, 15.0, 3.0)),
    # version 2: coronal, slice position not known
    "v2": record(2, **{**COMMON, "known": (1, 0, 1, 0)}, orientation=1, name="cor2",
                 texts=TEXTS_V1, tr_te_thick=(2000.0, 80.0, 4.0)),
    # version 3: axial, geometry fields, rotation to be built from the angulation
    "v3": record(3, **COMMON, orientation=2, name="ax3", texts=TEXTS_V1,
                 tr_te_thick=(600.0, 20.0, 5.0), off_centre=(0.5, -1.5, 2.5),
                 angulation=(10.0, -20.0, 30.0), position=(7.0, -8.0, 9.0)),
    # version 4 and later (9 is written today): every field
    "v9": record(9, **COMMON, orientation=2, name="ax9", texts=TEXTS_V1,
                 tr_te_thick=(600.0, 20.0, 5.0), off_centre=(0.5, -1.5, 2.5),
                 angulation=(0.0, 0.0, 90.0), position=(7.0, -8.0, 9.0),
                 rotation=(0.0, 2.0, 0.0, -1.0, 0.0, 0.0, 0.0, 0.0, 4.0),
                 tail_texts=("AR", "Supine", "HF")),
    # hostile: width of a million pixels, then a valid record behind it
    "v9_huge_width": record(9, **{**COMMON, "width": 1000000}, orientation=2, name="huge",
                            texts=TEXTS_V1, tr_te_thick=(1.0, 1.0, 1.0),
                            off_centre=(0, 0, 0), angulation=(0, 0, 0), position=(0, 0, 0),
                            rotation=(1, 0, 0, 0, 1, 0, 0, 0, 1), tail_texts=("RA", "n/a", "n/a")),
    # invalid: negative orientation
    "v0_orient_neg": record(0, **COMMON, orientation=-1, name="neg"),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for key, data in RECORDS.items():
        with open(os.path.join(OUT, "mrimage_%s.bin" % key), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
