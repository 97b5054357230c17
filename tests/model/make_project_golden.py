#!/usr/bin/env python3
"""Packs golden CSI set records and whole project folders of every file version.

Everything is packed field by field with the struct module from the record and file
layouts below, independently of the program's writers. All numbers are 4 bytes
little-endian; texts are their bytes and one zero byte.

CSI set record, with the file version from which each group is present:
  always: voxel shift (3f), field of view (3f), matrix size (3i), points (i),
          first and last point (2i), spectral width (i), frequency (f),
          ppm centre, ppm reference (2f), phase 0, phase 1 (2f), pivot (i),
          reader flag (i), domain flag (i), reader word (i), echo position (i),
          dimensions (i), slice axis (i), work-set flag (i), name, source (texts)
  >= 1: patient name, exam name, exam date, nucleus, patient position,
        patient orientation (texts); TR, TE, acquisition value (3f)
  >= 2: map count M (i), M map names (texts)
  >= 3: k-space flag, multi-slice flag (2i), angulation (3f), off-centre (3f),
        box count B (i), for each box the 9 floats centre, angulation, size
  >= 4: rotation (9f, row by row), orientation text, birth date (texts)
  >= 5: per-slice count S (i), S times phase 0, phase 1, pivot (3f)
  >= 6: grid point count (i), mask (that many i)
  >= 7: slice thickness, slice gap (2f)
  >= 8: reader value, coil quality factor, receiver gain (3f)

Project file: version (i), display flags (i), x start (i), x end (i), y minimum (f),
y maximum (f), image count (i), image records, set count (i), set records.

Project folder: the project file, the image's pixel file, the set's data-set file and,
from version 2, the map files of the maps its record names (data-set file name, "_",
map name), each in the map file layout of the project's version.

Run from anywhere: python3 tests/model/make_project_golden.py
It rewrites tests/model/golden/csirecord_*.bin and tests/model/golden/project_vN/.
The values are the fixture of TCSISetRecordTest.cpp and TProjectFileTest.cpp.
"""
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "golden")
sys.path.insert(0, HERE)

import make_dataset_golden  # noqa: E402  data-set file layout of every version
import make_map_golden  # noqa: E402  map file layout of every version
import mrimage_records  # noqa: E402  image record layout of every version

NX, NY, NZ, POINTS = make_dataset_golden.NX, make_dataset_golden.NY, make_dataset_golden.NZ, make_dataset_golden.POINTS

SET = dict(
    voxel_shift=(1.5, -2.25, 3.0),
    fov=(220.0, 200.0, 30.0),
    dim=(NX, NY, NZ),
    points=POINTS,
    range=(1, 3),
    sw=2000,
    freq=127.75,
    ppm=(2.5, 4.75),
    phases=(0.5, -1.25),
    pivot=2,
    reader_flag=3,      # only bit 0 is kept
    domain_flag=5,      # only bit 0 is kept
    reader_word=22,
    echo=1,
    dims=3,
    slice_axis=2,
    work_set=1,
    name="csi",
    source="C:\\scans\\csi.SPAR",
    texts=("Doe^John", "Brain exam", "2024.03.01", "1H", "Supine", "HF"),
    times=(1500.0, 144.0, 8.0),
    maps=("naa", "cho"),
    kspace_multi=(0, 1),
    angulation=(10.0, -5.0, 2.5),
    off_centre=(-12.5, 30.25, 7.0),
    # box i: centre (3), angulation (3), size (3)
    boxes=((1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 70.0, 80.0, 90.0),
           (-1.0, -2.0, -3.0, 0.5, 0.25, 0.125, 10.0, 20.0, 30.0)),
    rotation=(2.0, 1.0, 0.5, 0.25, 3.0, 1.0, 1.0, 0.5, 4.0),
    orientation="RAH",
    birth="1970.01.01",
    slice_phases=((0.25, -0.5, 1.0), (0.75, -1.5, 3.0)),  # one per slice along z
    mask=(1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0),
    thickness_gap=(15.0, 0.5),
    extra=(6.5, 0.75, 30.0),
)


def text(s):
    return s.encode("latin-1") + b"\0"


def set_record(version, s=SET, *, maps=None, boxes=None, slice_phases=None, mask=None):
    maps = s["maps"] if maps is None else maps
    boxes = s["boxes"] if boxes is None else boxes
    slice_phases = s["slice_phases"] if slice_phases is None else slice_phases
    mask = s["mask"] if mask is None else mask
    b = struct.pack("<3f", *s["voxel_shift"])
    b += struct.pack("<3f", *s["fov"])
    b += struct.pack("<3i", *s["dim"])
    b += struct.pack("<i", s["points"])
    b += struct.pack("<2i", *s["range"])
    b += struct.pack("<i", s["sw"])
    b += struct.pack("<f", s["freq"])
    b += struct.pack("<2f", *s["ppm"])
    b += struct.pack("<2f", *s["phases"])
    b += struct.pack("<i", s["pivot"])
    b += struct.pack("<7i", s["reader_flag"], s["domain_flag"], s["reader_word"], s["echo"],
                     s["dims"], s["slice_axis"], s["work_set"])
    b += text(s["name"]) + text(s["source"])
    if version >= 1:
        b += b"".join(text(t) for t in s["texts"])
        b += struct.pack("<3f", *s["times"])
    if version >= 2:
        b += struct.pack("<i", len(maps)) + b"".join(text(m) for m in maps)
    if version >= 3:
        b += struct.pack("<2i", *s["kspace_multi"])
        b += struct.pack("<3f", *s["angulation"]) + struct.pack("<3f", *s["off_centre"])
        b += struct.pack("<i", len(boxes))
        for box in boxes:
            b += struct.pack("<9f", *box)
    if version >= 4:
        b += struct.pack("<9f", *s["rotation"])
        b += text(s["orientation"]) + text(s["birth"])
    if version >= 5:
        b += struct.pack("<i", len(slice_phases))
        for entry in slice_phases:
            b += struct.pack("<3f", *entry)
    if version >= 6:
        b += struct.pack("<i", len(mask)) + struct.pack("<%di" % len(mask), *mask)
    if version >= 7:
        b += struct.pack("<2f", *s["thickness_gap"])
    if version >= 8:
        b += struct.pack("<3f", *s["extra"])
    return b


# The project: display block, one axial image of 4 x 3 pixels and the set above.
DISPLAY = dict(flags=2, x=(10, 500), y=(-1.0, 1.0))
IMAGE = dict(id=0, width=4, height=3, known=(1, 1, 1, 1), fov=(230.0, 200.0), orientation=2,
             slice_pos=12.5, window=(0, 200), centre=(4.0, -6.5), shift=(0.0, 0.0), name="ax",
             texts=("Doe^John", "Brain exam", "T1 SE", "2024.03.01"), tr_te_thick=(600.0, 20.0, 5.0),
             off_centre=(0.5, -1.5, 2.5), angulation=(0.0, 0.0, 0.0), position=(4.0, -6.5, 12.5),
             rotation=(1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0), tail_texts=("RA", "Supine", "HF"))
PIXELS = (0, 1, 2, 3, 10, 20, 30, 40, 100, 150, 200, 255)


# The maps of the golden project's set; their values differ by the offset.
PROJECT_MAPS = (("NAA_map", 0.0), ("Cho_map", 0.5))


def project_file(version, images=(IMAGE,), sets=1):
    b = struct.pack("<4i2f", version, DISPLAY["flags"], *DISPLAY["x"], *DISPLAY["y"])
    b += struct.pack("<i", len(images))
    for image in images:
        b += mrimage_records.record(version, **image)
    b += struct.pack("<i", sets)
    for _ in range(sets):
        b += set_record(version, maps=tuple(name for name, _ in PROJECT_MAPS))
    return b


def pixel_file(version):
    # Projects of version 4 and older kept 8-bit pixels.
    if version <= 4:
        return bytes(PIXELS)
    return struct.pack("<%dh" % len(PIXELS), *PIXELS)


def data_set_file(version):
    return (make_dataset_golden.header(version) if version >= 2 else b"") + make_dataset_golden.samples()


def main():
    os.makedirs(OUT, exist_ok=True)
    for version in range(10):
        with open(os.path.join(OUT, "csirecord_v%d.bin" % version), "wb") as f:
            f.write(set_record(version))
        folder = os.path.join(OUT, "project_v%d" % version)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with open(os.path.join(folder, "golden.tpj"), "wb") as f:
            f.write(project_file(version))
        with open(os.path.join(folder, IMAGE["name"]), "wb") as f:
            f.write(pixel_file(version))
        with open(os.path.join(folder, SET["name"]), "wb") as f:
            f.write(data_set_file(version))
        if version >= 2:
            for name, offset in PROJECT_MAPS:
                with open(os.path.join(folder, SET["name"] + "_" + name), "wb") as f:
                    f.write(make_map_golden.map_file(version, offset))
    # Hostile records: a box count of 3, and a mask count that does not match the grid.
    with open(os.path.join(OUT, "csirecord_v9_boxes3.bin"), "wb") as f:
        f.write(set_record(9, boxes=SET["boxes"] + (SET["boxes"][0],)))
    with open(os.path.join(OUT, "csirecord_v9_mask11.bin"), "wb") as f:
        f.write(set_record(9, mask=SET["mask"][:11]))
    with open(os.path.join(OUT, "csirecord_v9_slices3.bin"), "wb") as f:
        f.write(set_record(9, slice_phases=SET["slice_phases"] + ((0.0, 0.0, 0.0),)))
    # The project file of the documented 32-byte example: no images, no sets.
    with open(os.path.join(OUT, "project_empty_v9.tpj"), "wb") as f:
        f.write(struct.pack("<4i2f2i", 9, 2, 10, 500, -1.0, 1.0, 0, 0))


if __name__ == "__main__":
    main()
