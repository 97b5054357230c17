#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into build/fuzz-seeds/<target>/.

Small hand-written seeds are kept in fuzz/seeds/<target>/. Synthetic seeds come from the
seed writer vx_fuzz_seeds (fuzz/seeds/WriteFuzzSeeds.cpp, built with the release preset),
which builds each file kind from the layouts the reader tests use and lays it out as its
target takes it (a P-file or DICOM seed that no reader reads is an error); it also cuts
the scanner's P-file and Siemens DICOM slices of ../shared/data to fit an input. The other scanner files (when
present) and the golden files of the model tests are laid out here. Scanner files are
only ever copied into the build folder. Run from the project root:
  python3 fuzz/make_seeds.py [--no-build] [--jobs N] [--out FOLDER]   (N build jobs, default 3)
The tests fuzz_<target> of the ordinary builds write the seeds into their own build folder
with that build's seed writer:
  python3 fuzz/make_seeds.py --no-build --tool BUILD/tests/vx_fuzz_seeds --out BUILD/fuzz-seeds
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "build", "fuzz-seeds")
DATA = os.path.join(ROOT, "..", "shared", "data")
GOLDEN = os.path.join(ROOT, "tests", "model", "golden")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def sections(parts):
    """The input that the harnesses' Sections() splits into `parts`."""
    head = b"".join(struct.pack("<H", len(p)) for p in parts[:-1])
    return head + b"".join(parts)


def put(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def data_file(*parts):
    path = os.path.join(DATA, *parts)
    return path if os.path.isfile(path) else None


def real_files():
    if not os.path.isdir(DATA):
        print("no ../shared/data: only synthetic seeds")
        return
    for folder in ("dicom_ge/dcm_qa_ge", "dicom_mrs/dcm_qa_spec", "dicom_mrs/suspect"):
        full = os.path.join(DATA, folder)
        for name in sorted(os.listdir(full)):
            if not name.endswith(".json"):
                put("fuzz_dicom", name, read(os.path.join(full, name)))
    rda = data_file("rda", "suspect", "SVS_30.rda")
    if rda:
        for options in (0, 1, 2, 4):
            put("fuzz_rda", "SVS_30_%d" % options, bytes([options]) + read(rda))
    # The P-file itself, cut to fit an input, is laid out by the seed writer.
    pfile = data_file("ge_pfile", "tarquin", "P1751_1.5T_030_2000.7")
    spar = os.path.join(DATA, "spar_sdat")
    for root, _, names in os.walk(spar):
        for name in sorted(names):
            if name.lower().endswith(".spar"):
                sdat = os.path.join(root, name[:-4] + ("SDAT" if name.endswith("SPAR") else "sdat"))
                if os.path.isfile(sdat):
                    files = sections([read(os.path.join(root, name)), b"", read(sdat)])
                    put("fuzz_spar_sdat", name, bytes([0, 0]) + files)
                    # Offsets removed and spectra normalized (second byte, bits 3 and 4).
                    put("fuzz_spar_sdat", name + "_options", bytes([0, 0x18]) + files)
    list_seeds()
    shf = data_file("ge_pfile", "tarquin", "P1751_1.5T_030_2000.7.shf")
    if shf and pfile:
        # The scanner's header, cut to 256 points of 4 frames so that the data fits an input.
        text = read(shf).replace(b"num_pts    2048", b"num_pts    256").replace(b"num_pts    24", b"num_pts    4")
        text = text.replace(b"offset_to_data  77848", b"offset_to_data  0")
        samples = read(pfile)[77848:77848 + 256 * 4 * 8]
        for pad in range(4):  # the first length byte also picks the options
            put("fuzz_ge_sage", "P1751_%d" % pad, sections([text + b"\n" * pad, samples]))
    # Every PAR header that fits an input part; those without a REC file of their own get
    # the first two images of the phantom's (a PAR file describes its scan's REC file).
    parrec = os.path.join(DATA, "parrec")
    phantom = data_file("parrec", "nibabel", "phantom_EPI_asc_CLEAR_2_1.REC")
    for root, _, names in sorted(os.walk(parrec)):
        for name in sorted(names):
            if not name.endswith(".PAR") or os.path.getsize(os.path.join(root, name)) > 65535:
                continue
            rec = os.path.join(root, name[:-4] + ".REC")
            rec = rec if os.path.isfile(rec) else phantom
            if rec:
                layout = struct.pack("<iHHB", 0, 64, 64, 0)
                put("fuzz_parrec", name[:-4], layout + sections([read(os.path.join(root, name)), read(rec)[:64 * 64 * 2 * 2]]))
    # Bruker experiments with their reconstructed images (as fid and as 2dseq).
    for name, folder in (("brukerMRI_100", ("brukerMRI", "100")), ("BadBanana_18", ("pvconv", "BadBanana_01", "18"))):
        bruker = os.path.join(DATA, "bruker", *folder)
        if os.path.isdir(bruker):
            texts = [read(os.path.join(bruker, n)) for n in ("method", "acqp")]
            texts.append(read(os.path.join(bruker, "pdata", "1", "reco")))
            seq = read(os.path.join(bruker, "pdata", "1", "2dseq"))[:65536]
            put("fuzz_bruker", name, bytes([0]) + sections(texts + [seq]))


def list_seeds():
    """The scanner's LIST file (a single-voxel raw export whose DATA file is not at hand)
    with the SPAR file of the same exam, cut to fit an input part: its header, the noise
    vectors and the first standard vectors, and the lines after the vector index. Once
    with no DATA file, and once with the first noise vector and the first standard vector
    of the first mix (the one the reader keeps) only, their offsets moved to the start of
    a DATA file made up here."""
    listfile = data_file("philips_listdata", "MRS_MRI_libs", "sub2_MRS.list")
    spar = data_file("spar_sdat", "MRS_MRI_libs", "sub2_MRS.SPAR")
    if not listfile:
        return
    lines = read(listfile).split(b"\n")
    vectors = [i for i, line in enumerate(lines) if line.startswith(b" ")]
    head = lines[:vectors[0]]
    tail = lines[vectors[-1] + 1:]
    noise = [lines[i] for i in vectors if lines[i].split()[0] == b"NOI"]
    standard = [lines[i] for i in vectors if lines[i].split()[0] == b"STD"]
    spar_text = read(spar) if spar else b""

    def text(kept):
        return b"\n".join(head + kept + tail)

    kept = list(noise)
    for line in standard:
        if len(text(kept + [line])) > 60000:
            break
        kept.append(line)
    for pick in (0, 1, 2):
        put("fuzz_list", "sub2_MRS_list_%d" % pick, bytes([pick]) + sections([text(kept), spar_text, b"", b""]))

    def moved(line, offset):
        words = line.rstrip(b"\r").split()
        return b"  " + b"  ".join(words[:-1] + [str(offset).encode()]) + b"\r"

    # The reader keeps the standard vectors of the first mix (0) only.
    first_mix = next(line for line in standard if line.split()[1] == b"0")
    size = int(first_mix.split()[-2])
    pair = [moved(noise[0], 0), moved(first_mix, size)]
    data = b"".join(struct.pack("<f", 100.0 * ((k * 7) % 23 - 11)) for k in range(2 * size // 4))
    for pick in (0, 0x0c):
        put("fuzz_list", "sub2_MRS_list_data_%d" % pick, bytes([pick]) + sections([text(pair), spar_text, b"", data]))


def rda_seeds():
    """RDA files that fuzz_rda writes from parameters (first byte 128 + options): TE and TR
    apart, grids of one voxel to 4 x 4 x 2, each nucleus, sweep widths and dwell times that do
    not divide a second, axial, sagittal, coronal and oblique grids with both signs of their
    vectors, off the origin, without a patient position and with each one (and one the
    format does not know)."""
    for k, (te, tr, grid) in enumerate(((30, 2000, 0x00), (144, 1500, 0x05), (35, 1700, 0x1f), (270, 3000, 0x36))):
        samples = b"".join(struct.pack("<h", (i * 37) % 401 - 200) for i in range(512))
        for j, directions in enumerate((0, 6, 9, 20, 24 + k, 28 + k)):
            position = (3 * k + j) % 10
            width = k + 8 * (j % 2)
            params = struct.pack("<HHBHBBBBBBbbbB", te * 16, tr * 8, 8 + k, 64 * 60 + k, width, 4 + k + 16 * k, grid,
                                 0x1a + directions, 3 + k, directions, 20 - 7 * k, -30 + 11 * k, 5 * k - 9,
                                 (3 + 2 * k) | (position << 4))
            for options in (0, 1, 6):
                put("fuzz_rda", "parameters_%d_%d_%d" % (k, directions, options),
                    bytes([128 | options]) + params + sections([b"Doe%d" % k, samples]))


def chosen_seeds():
    """Inputs from which the reader targets write a file from chosen values: the values
    from a counting pattern (every byte a different value, so that the choices differ),
    once per reader road and option the first bytes pick, and samples of both signs."""
    def pattern(count, start):
        return bytes((start + 37 * i) % 256 for i in range(count))
    samples = b"".join(struct.pack("<h", (i * 53) % 601 - 300) for i in range(2 * 64 * 64))
    csi_samples = b"".join(struct.pack("<h", (i * 53) % 601 - 300) for i in range(2 * 64 * 8 * 8 * 4))
    for k in range(4):
        # fuzz_raw_csi: bit 1 with the raw reader; the last bytes pick the sample road.
        for road in range(3):
            params = bytearray(pattern(27, 11 * k + road))
            params[23] = road
            params[26] = 200  # no field of view of 0
            put("fuzz_raw_csi", "chosen_%d_%d" % (k, road), bytes([2]) + bytes(params) + samples)
        # fuzz_internal_format: bit 7 of the first byte; bit 0 cuts the file short.
        for cut in (0, 1):
            put("fuzz_internal_format", "chosen_%d_%d" % (k, cut), bytes([0x80 | cut | 8 * k]) + pattern(64, 5 * k) + samples)
        # Bits 1-2 and 5 (without bits 0 and 6): a FIFO, a folder or a link to a FIFO in
        # the file's place, or its open or its first to third read failing.
        for unreadable in (0x02, 0x04, 0x06, 0x20, 0x22, 0x24, 0x26):
            put("fuzz_internal_format", "chosen_%d_unreadable_%02x" % (k, unreadable),
                bytes([0x80 | unreadable]) + pattern(64, 5 * k) + samples)
        # Bit 6 (without bit 0): a grid of 64 by 64 by 2 of 64 points, 4 MiB of samples.
        put("fuzz_internal_format", "chosen_%d_large" % k, bytes([0xc0 | 8 * k]) + pattern(64, 5 * k) + samples)
        # fuzz_mag: the Helicon reader (bit 0), either file of the pair, raw or processed.
        for pick in (0x81, 0x87, 0x8b):
            params = bytearray(pattern(12, 7 * k))
            params[11] = 200  # a dwell time
            put("fuzz_mag", "chosen_%d_%02x" % (k, pick), bytes([pick]) + bytes(params) + sections([b"Head%d" % k, samples]))
        # fuzz_spar_sdat: bit 7 of the second byte; the first picks one of nine readers
        # (modulo 9), the second also Load raw data (bit 5), the options (bits 3-4), the
        # SPAR file given (bit 2), no PAR file (bit 0) and a SPAR file without its sweep
        # width (bit 6). The last six readers take 12 bytes more, whose third lays out the
        # PAR file: version 3, version 4 with image lines or without, and its lines.
        for reader in range(9):
            for options in (0x80, 0xa0, 0xb8) + ((0xa5,) if reader >= 3 else ()):
                params = bytearray(pattern(28 + (12 if reader >= 3 else 0), 13 * k + reader))
                if reader >= 3:
                    params[30] = (0x7d, 0x7e, 0x5f, 0x22)[k]
                put("fuzz_spar_sdat", "chosen_%d_%d_%02x" % (k, reader, options),
                    bytes([reader + 9 * k, options]) + bytes(params) + sections([b"Doe%d" % k, b"Exam%d" % k, samples]))
        # fuzz_list: bit 6 of the first byte; bit 0 the volume reader, bit 4 Load raw data,
        # bits 2-3 the options, bit 5 no LIST file.
        for pick in (0x40, 0x41, 0x50, 0x51, 0x5c, 0x5d):
            put("fuzz_list", "chosen_%d_%02x" % (k, pick),
                bytes([pick]) + pattern(24, 17 * k + pick) + sections([b"Doe%d" % k, b"Exam%d" % k, samples]))
        # fuzz_list's EPCSI reader: bits 6 and 7; bit 4 Load raw data, bits 2-3 the options.
        for pick in (0xc0, 0xd0, 0xcc):
            put("fuzz_list", "epcsi_chosen_%d_%02x" % (k, pick),
                bytes([pick]) + pattern(24, 29 * k + pick) + sections([b"Doe%d" % k, b"Exam%d" % k]))
        # fuzz_bruker: bit 7 of the first byte; bit 3 Load raw data, bit 2 Remove offset.
        # The last bytes: an acqp file, 1 to 4 image slices, their distance, a whole 2dseq.
        for pick in (0x80, 0x88, 0x8c):
            params = bytearray(pattern(24, 19 * k + pick))
            params[20:24] = bytes([200, k + pick // 4, 5 + 7 * k, 200])
            put("fuzz_bruker", "chosen_%d_%02x" % (k, pick), bytes([pick]) + bytes(params) + samples)
        # fuzz_mag's MAG image (bit 0 clear, bit 7 set): each plane alone and tilted, each
        # blank between key and value, both names and pixels of both signs.
        for plane in range(3):
            params = bytearray(pattern(10, 41 * k + 13 * plane))
            params[8] = k  # the blank
            params[9] = (72 if k & 1 else 48) + plane  # the plane (modulo 3), tilted with bit 3
            put("fuzz_mag", "image_chosen_%d_%d" % (k, plane), bytes([0x80]) + bytes(params) +
                sections([b"Exam%d" % k, b"Prot%d" % plane, samples[:512]]))
        # fuzz_ge_pfile: revision bits 3; bit 2 little-endian, bits 3-4 the reader (1 single
        # voxel), bits 5-7 the options.
        for pick in (0x0b, 0x0f, 0x2b, 0x2f, 0xeb):
            params = bytearray(pattern(32, 23 * k + pick - 8))
            params[0] = (params[0] & 0x87) | 0x40  # revision and sample size; not 3 bytes
            put("fuzz_ge_pfile", "chosen_%d_%02x" % (k, pick), bytes([pick]) + bytes(params) + sections([b"Series%d" % k, samples]))
        # Its CSI readers (reader bits 0 EXCITE, 2 pre-11.0, 3 multi-plane): grids of two
        # voxels or more along x (byte 24), each plane kind (byte 28) and, for EXCITE, no
        # Add Exam and one with an image in the plane's directions and in others (byte 35).
        for reader in (0, 2, 3):
            for j, options in enumerate((0x00, 0x04, 0x20, 0x24, 0xe0)):
                pick = 3 | (reader << 3) | options
                params = bytearray(pattern(40, 29 * k + 7 * reader + j))
                params[0] = (params[0] & 0x87) | 0x40
                params[24] |= 1
                if reader == 3 and j < 4:
                    params[24] |= 0x12  # three or more points along x and y: the ellipse samples
                params[28] = (k + j) % 4
                params[35] = (params[35] & 7) | (8 * ((k + j + reader) % 3))
                put("fuzz_ge_pfile", "chosen_csi_%d_%d_%02x" % (k, reader, pick),
                    bytes([pick]) + bytes(params) + sections([b"Series%d" % k, csi_samples]))
    put("fuzz_ge_pfile", "chosen_sample_size_3", bytes([0x2b]) + bytes([0]) + pattern(31, 1) + sections([b"Series", samples]))
    for reader in (0, 2, 3):
        put("fuzz_ge_pfile", "chosen_csi_sample_size_3_%d" % reader,
            bytes([0x23 | (reader << 3)]) + bytes([0]) + pattern(39, 1) + sections([b"Series", csi_samples]))
    one_voxel = bytearray(pattern(40, 1))
    one_voxel[0], one_voxel[24] = 0x40, 0
    put("fuzz_ge_pfile", "chosen_csi_one_voxel", bytes([0x03]) + bytes(one_voxel) + sections([b"Series", csi_samples]))
    put("fuzz_bruker", "chosen_no_acqp", bytes([0x88]) + pattern(20, 1) + bytes([1, 3, 8, 200]) + samples)
    # Four image slices whose 2dseq file ends a byte short.
    put("fuzz_bruker", "chosen_images_cut", bytes([0x88]) + pattern(20, 2) + bytes([200, 3, 8, 1]) + samples)
    put("fuzz_mag", "image_chosen_oblique", bytes([0x80]) + pattern(9, 5) + bytes([3]) +
        sections([b"Exam", b"Prot", samples[:512]]))
    put("fuzz_spar_sdat", "chosen_no_width", bytes([0, 0xc0]) + pattern(28, 1) + sections([b"Doe", b"Exam", samples]))
    # The R11 readers without their PAR file, the stack without its SPAR file's sweep width,
    # and a stack and a volume without their last SDAT file.
    for reader, options in ((4, 0x81), (5, 0x81), (7, 0x81), (5, 0xc0), (5, 0x82), (8, 0x86)):
        params = bytearray(pattern(40, 3 + reader))
        params[30] = 0x7e
        put("fuzz_spar_sdat", "chosen_refused_%d_%02x" % (reader, options),
            bytes([reader, options]) + bytes(params) + sections([b"Doe", b"Exam", samples]))
    put("fuzz_list", "chosen_no_list", bytes([0x60]) + pattern(24, 1) + sections([b"Doe", b"Exam", samples]))
    put("fuzz_list", "epcsi_chosen_no_list", bytes([0xe0]) + pattern(24, 1) + sections([b"Doe", b"Exam"]))
    # EPCSI read raw with one point per readout (the sizes' byte 14: kx 1, ky 1, 2 or 4, kz 2),
    # whose samples are checked.
    for k, sizes in enumerate((0x30, 0x36, 0x39)):
        params = bytearray(pattern(24, 31 * k + 7))
        params[14] = sizes
        put("fuzz_list", "epcsi_chosen_raw_one_point_%d" % k, bytes([0xd0]) + bytes(params) + sections([b"Doe", b"Exam"]))
    put("fuzz_raw_csi", "chosen_invalid", bytes([2]) + pattern(26, 3) + bytes([1]) + samples)
    # fuzz_raw_csi: bits 0 and 1 with the plug-in reader; byte 64 picks the sample road,
    # byte 67 what the reader must refuse (200: nothing; 0-17: each refusal, zero and negative).
    for k in range(4):
        for road in range(3):
            chosen = bytearray(pattern(159, 13 * k + road + 5))
            chosen[64] = road
            chosen[67] = 200
            put("fuzz_raw_csi", "plugin_chosen_%d_%d" % (k, road), bytes([3]) + bytes(chosen) + csi_samples)
    for damage in range(18):
        chosen = bytearray(pattern(159, damage))
        chosen[67] = damage
        put("fuzz_raw_csi", "plugin_chosen_refused_%d" % damage, bytes([3]) + bytes(chosen) + csi_samples)
    put("fuzz_mag", "chosen_no_dwell", bytes([0x81]) + pattern(11, 3) + bytes([1]) + sections([b"Head", samples]))


def dicom_seeds():
    """Images that fuzz_dicom writes from chosen values (first byte 0xff): each bit depth,
    transfer syntax and road, every plane and oblique directions, each patient position
    and none, and pixels of both signs."""
    pixels = b"".join(struct.pack("<h", (i * 2731) % 65536 - 32768) for i in range(256))
    for k in range(16):
        kind = (k & 1) | ((k >> 1) & 3) << 1 | ((k >> 1) & 3) << 3
        directions = (5 * k + 3 * (k >> 2)) % 32
        values = bytes([k, 15 - k, kind, (17 * k) % 256, (256 - 9 * k) % 256, 5 * k, directions,
                        3 + k, 12 - (k % 12), k % 9, 250, 60 + k, 40, 12 + k, k % 12, 3 * k])
        put("fuzz_dicom", "chosen_%02d" % k, b"\xff" + values + pixels)


def genesis_seeds():
    """Genesis images that fuzz_ge_headers writes from chosen values (first byte 0xff): each
    header version in both byte orders, each plane normal, and one file cut short."""
    pixels = b"".join(struct.pack("<h", (i * 3079) % 65536 - 32768) for i in range(256))
    for k in range(12):
        values = bytes(v % 256 for v in (k, 2 * k + k // 6, 3 + k, 12 - k, 100 + 9 * k, 5 + k, 200 - 7 * k, 3 * k,
                                         k, 9 * k, 256 - 11 * k, 17 * k, 40 + k, 8 * k, 1 + k, 160, 15, 64 + k,
                                         120, 7 * k, 3, 50 + k, 13 * k, 2 * k, k, 11 * k, 4 * k, 1))
        put("fuzz_ge_headers", "genesis_chosen_%02d" % k, b"\xff" + values + pixels)
    put("fuzz_ge_headers", "genesis_chosen_cut", b"\xff" + bytes([4, 241]) + bytes(range(3, 29)) + pixels)


def parrec_seeds():
    """Pairs that fuzz_parrec writes from chosen values (bit 7 of the ninth byte): both
    versions, each road, one to three images of both bit depths in each orientation; and
    REC files read as raw images."""
    pixels = b"".join(struct.pack("<h", (i * 1931) % 65536 - 32768) for i in range(3 * 64))
    for k in range(12):
        layout = bytes(8) + bytes([0x80 | (0x40 if k % 3 == 2 else 0) | (k % 4) << 1])
        lines = b"".join(bytes(v % 256 for v in (9 * j + 7 * k, j + k, 16 + 3 * j, 250 - 5 * k, 9 * j, 4 + j, 3 + k,
                                                 24 + j, 60 + k)) for j in range(3))
        values = bytes(v % 256 for v in (k, 100 + k, 31, 5 * k, 256 - 7 * k, 3 * k, 40 - k, 20 + k, 9 * k, 180,
                                         200 + k, 160 - k, 20 + k, 7 * k, 256 - 5 * k, 42, 7 + k, 3 * k, k)) + lines
        put("fuzz_parrec", "chosen_%02d" % k, layout + values + pixels)
    # The REC file as a raw image (road 3, bits 1-2 of the ninth byte; bit 0 big-endian):
    # both byte orders, an odd header skip, a file holding two images' bytes, and the
    # layouts refused: a side of 0 and a file one byte short of header + image.
    def raw(name, header, width, height, big, size):
        rec = bytes((i * 167 + i * i * 13 + 5) % 256 for i in range(size))
        put("fuzz_parrec", "raw_" + name, struct.pack("<iHHB", header, width, height, 6 | big) + sections([b"", rec]))
    raw("little", 0, 12, 7, 0, 2 * 12 * 7)
    raw("big", 0, 9, 5, 1, 2 * 9 * 5)
    raw("header_big", 13, 6, 4, 1, 13 + 2 * 6 * 4)
    raw("two_images", 3, 8, 3, 0, 3 + 2 * 2 * 8 * 3)
    raw("zero_width", 0, 0, 4, 0, 64)
    raw("short", 7, 5, 5, 1, 7 + 2 * 5 * 5 - 1)


def mask_seeds():
    """Selections from which fuzz_macro_mask writes a mask file (first byte: bits 0-1 = 2,
    then the grid): values of both signs, zeros and the largest, every separator; a macro
    file and a mask file replaced by a FIFO, a folder and a link to a FIFO; and steps undone
    with a call failing or their state file's shape rewritten."""
    values = bytes([1, 0, 0xff, 0x80, 0x7f, 0, 3, 0xfe, 0, 0, 5, 0x81, 0, 1, 2, 0] * 2)
    for grid in (0x00, 0x0c, 0x3c, 0x7c):
        for tabs in (0, 128):
            put("fuzz_macro_mask", "written_mask_%02x" % (grid | tabs), bytes([2 | grid | tabs]) + values)
    for kind in range(3):
        for mask in (0, 64):
            put("fuzz_macro_mask", "special_%s_%d" % ("mask" if mask else "macro", kind), bytes([128 | mask | kind << 2]))
    # Steps undone (first byte 64): the step types by their place in the target's list (zero
    # fill, cosine, Fermi and Hamming windows, Lorentz, Gauss and combined filters, baseline)
    # with their line widths; then what fails (a write, the making of a file, a read, a read at
    # a place, a size look-up, an open to read, or the state file's shape), at which call, the
    # state file of which step and how its shape is rewritten (or its field of view made 0).
    widths = {4: [2, 5], 5: [2, 5], 6: [2, 5, 1, 0], 7: [3, 0, 1, 5]}
    def undo(name, types, failing=0, at=0, member=0, reshape=0, raw=(0, 0, 0, 0)):
        steps = [t for k in types for t in [k] + widths.get(k, [])]
        put("fuzz_macro_mask", "undo_" + name,
            bytes([64, len(types) - 1] + steps + [failing, at, member, reshape] + list(raw)))
    for k in range(8):
        undo("step_%d" % k, [k])
    undo("two_steps", [0, 4])
    for failing, call in enumerate(("write", "create", "read", "read_at", "size", "open"), 1):
        for at in (0, 1, 2):
            undo("%s_%d_failing" % (call, at + 1), [0, 5], failing, at)
        undo("filter_%s_failing" % call, [4], failing)
    for reshape in range(5):
        for member in (0, 1):
            undo("shape_%d_of_%d" % (reshape, member), [0, 6], 7, 0, member, reshape, (8, 8, 1, 64))
    undo("shape_small", [7], 7, 0, 0, 4, (1, 1, 1, 1))
    undo("no_field_of_view", [0, 4], 7, 0, 1, 5)
    undo("shape_too_large", [3], 7, 0, 0, 4, (9, 8, 1, 64))


def sage_seeds():
    """SAGE pairs: a single voxel of 32 points and six frames, two of them references, in
    each sample precision, plane and an oblique one given by its corners."""
    def header(precision, plane, extra=""):
        dims = "".join("dimen_num  %d\ndomain     %s\nnum_pts    %d\n%s" % (d, dom, n, w)
                       for d, dom, n, w in ((0, "Time", 32, "width      2000\n"), (1, "None", 6, ""),
                                            (2, "None", 1, ""), (3, "None", 1, "")))
        return ("# SAGE Data Header (sdbm)\ndata_type       Complex\ndata_precision  %s\n"
                "offset_to_data  64\nstudy_number    12\ndate_acquired   04/02/2001\npsd_name        probe-p\n"
                "TR  2000\nTE  30\ncenter_freq  63.86\nposition  1\nentry  1\nplane  %d\nnum_ref_frames  2\n"
                "opuser8   20\nopuser9   22\nopuser10  18\nopuser11  3.5\nopuser12  -4\nopuser13  6.5\n%s%s"
                % (precision, plane, extra, dims)).encode()
    width = {"16 Bit": 2, "32 Bit": 4, "Float": 4}
    corners = ("obplane  2\ntlhc_R  10\ntlhc_A  20\ntlhc_S  5\ntrhc_R  -10\ntrhc_A  20\ntrhc_S  5\n"
               "brhc_R  -10\nbrhc_A  -20\nbrhc_S  8\n")
    for precision, plane, extra in (("Float", 2, ""), ("16 Bit", 4, ""), ("32 Bit", 8, ""), ("Float", 16, corners)):
        samples = bytearray(64)
        for f in range(6):
            for t in range(32):
                for v in ((f + 1) * (t + 1), -(f + 1)):
                    if precision == "Float":
                        samples += struct.pack("<f", v)
                    else:
                        samples += struct.pack("<h" if width[precision] == 2 else "<i", v)
        text = header(precision, plane, extra)
        for options in range(4):  # the first length byte also picks the options
            padded = text + b"\n" * ((options - len(text)) % 4)
            put("fuzz_ge_sage", "sage_%s_%d_%d" % (precision.replace(" ", ""), plane, options),
                sections([padded, bytes(samples)]))
    # Pairs the target writes from chosen values (a header length of 65535): TR and TE
    # apart, each point count and sweep width, precision, plane (an oblique one in several
    # directions), lying and entry, frame counts and data offset; read raw or not, and one
    # with its data file cut short.
    for k in range(12):
        options = (k % 2) | (k % 3 == 0) << 1 | (k == 5) << 2 | (k == 11) << 3 | (k == 7) << 4 | (k == 9) << 5
        options |= (k % 3) << 6
        plane = (k // 2 + k) % 4
        params = struct.pack("<HHHBBH", (1500 + 100 * k) * 8, (30 + 7 * k) * 16, 64 * 63 + 13 * k, k, k, 12 + k)
        params += bytes([options, plane, 24 + k if k % 4 else 8 * k, k % 5, k % 3, 72, 80, 64,
                         (7 - k) % 256, 9 + k, 256 - 12, (5 + k % 4) | (2 + k % 3) << 3, k % 4])
        params += struct.pack("<H", 3000 + 977 * k) + bytes([20, 236, 40, k, 15 - k])
        params += bytes(32 - len(params))
        samples = b"".join(struct.pack("<h", (i * 29 + k) % 301 - 150) for i in range(2 * 64 * 8))
        put("fuzz_ge_sage", "chosen_%d" % k, b"\xff\xff" + params + samples)


def work_folder_seeds():
    """Interrupted saves of the project fuzz_work_folder makes (a project file and the CSI
    set "csi"): journals of every layout in each place, with their staged files present or
    already in place, damaged journals, and "saving-as" notes naming the folder "other"."""
    dataset = read(os.path.join(GOLDEN, "dataset_v9.bin"))

    def seed(name, pick, journal=b"", note=b"", files=(), lock=0, failing=None):
        files = list(files) + [b""] * (4 - len(files))
        # A failing call (bits 6-7 of the first byte: its kind; a third byte: its count less one).
        head = bytes([pick, lock]) if failing is None else bytes([pick | failing[0] << 6, lock, failing[1] - 1])
        put("fuzz_work_folder", name, head + sections([journal, note] + files))

    j1, j2, end = b"Vexara file journal 1\n", b"Vexara file journal 2\n", b"end\n"
    staged = b"wcsi.a1b2c3\0" + dataset
    rename = b"rename\tcsi.a1b2c3\tcsi\t#0\n"
    seed("layout2", 0, j2 + rename + b"remove\tgone\n" + end, files=[staged, b"pgone\0old"])
    # The staged file already renamed: the target is the file the journal identifies.
    seed("layout2_renamed", 0, j2 + rename + end, files=[b"pcsi\0" + dataset])
    seed("layout2_lost", 0, j2 + rename + end)
    seed("layout2_cut", 0, j2 + rename)
    seed("layout1_work", 0, j1 + b".csi.a1b2c3\tcsi\n" + end, files=[b"w.csi.a1b2c3\0" + dataset])
    seed("layout1_old_place", 1, j1 + b".csi.a1b2c3\tcsi\n" + end, files=[b"p.csi.a1b2c3\0" + dataset])
    # The staged file's own identity: the journal reads well, and the folder in the way of
    # its target refuses it.
    seed("layout2_folder_target", 0, j2 + b"rename\tdir.a1b2c3\tdir\t#0\n" + end,
         files=[b"wdir.a1b2c3\0x", b"Pdir\0"])
    # The present layout: staged files known by size and checksum.
    j3, rename3 = b"Vexara file journal 3\n", b"rename\tcsi.a1b2c3\tcsi\t$0\n"
    seed("layout3", 0, j3 + rename3 + b"remove\tgone\n" + end, files=[staged, b"pgone\0old"])
    seed("layout3_renamed", 0, j3 + rename3 + end, files=[b"pcsi\0" + dataset])
    seed("layout3_lost", 0, j3 + rename3 + end)
    seed("layout3_old_place", 1, j3 + b"remove\tgone\n" + end)
    # Every file of another group than the process's (bit 5): a file put in place keeps the
    # staged file's group.
    seed("layout3_other_group", 32, j3 + rename3 + b"remove\tgone\n" + end, files=[staged, b"pgone\0old"])
    seed("layout1_other_group", 1 | 32, j1 + b".csi.a1b2c3\tcsi\n" + end, files=[b"p.csi.a1b2c3\0" + dataset])
    # A staged file of the recorded size whose checksum is another file's of that size.
    other = bytes(b ^ 1 for b in dataset)
    seed("layout3_other_checksum", 0, j3 + b"rename\tcsi.a1b2c3\tcsi\t$1\n" + end,
         files=[staged, b"wother\0" + other])
    # A rename missing its identity, one with a field too many, and removals that would
    # leave the folder or take its work folder.
    seed("layout3_field_missing", 0, j3 + b"rename\tcsi.a1b2c3\tcsi\n" + end, files=[staged])
    seed("layout3_field_more", 0, j3 + b"rename\tcsi.a1b2c3\tcsi\t$0\t$0\n" + end, files=[staged])
    seed("layout3_remove_outside", 0, j3 + b"remove\t../outside\n" + end)
    seed("layout3_remove_work", 0, j3 + b"remove\t.vexara\n" + end)
    # The new file lost after others are put in place: a refusal that must change nothing.
    seed("layout3_lost_second", 0, j3 + rename3 + b"rename\tgone.a1b2c3\tgone\t$0\n" + end,
         files=[staged, b"pgone\0old"])
    # The folder cannot take the change: a target that is a folder.
    seed("layout3_folder_target", 0, j3 + b"rename\tdir.a1b2c3\tdir\t$0\n" + end,
         files=[b"wdir.a1b2c3\0x", b"Pdir\0"])
    seed("unknown_header", 0, b"Vexara file journal 9\n" + end)
    seed("layout2_old_place", 1, j2 + b"remove\tgone\n" + end)
    # Save As notes: the other folder with a journal, a staged file, or nothing of its own.
    note = b"Vexara save as 2\n@/other\n"
    ids = b"%p\n%n\n"
    seed("note_journal", 2 | 4 | 8, j2 + rename + end, note + b"000\n" + ids, [b"vcsi.a1b2c3\0" + dataset])
    seed("note_journal3", 2 | 4 | 8, j3 + rename3 + end, note + b"000\n" + ids, [b"vcsi.a1b2c3\0" + dataset])
    seed("note_made", 3 | 4 | 16, note=note + b"111\n" + ids, files=[b"vcsi.a1b2c3\0" + dataset])
    seed("note_missing_folder", 3 | 4, note=note + b"111\n" + ids)
    seed("note_damaged_journal", 2 | 4 | 8, j2 + b"remove\n" + end, note + b"000\n" + ids)
    # A note of another project, and one whose folder is not the one noted: removed alone.
    seed("note_of_another_project", 3 | 4 | 16, note=note + b"111\n%n\n%n\n", files=[b"vcsi.a1b2c3\0" + dataset])
    seed("note_of_another_folder", 3 | 4 | 16, note=note + b"111\n%p\n%p\n", files=[b"vcsi.a1b2c3\0" + dataset])
    # The lock's states (the second byte): each with no journal, NFS's rule and a failing
    # lock call; some with a journal waiting.
    states = ("folder", "fifo", "link", "link_to_nothing", "link_to_fifo", "unreadable", "unwritable",
              "held", "folder_held", "read_only_folder", "missing", "open_here", "hard_link")
    for k, state in enumerate(states, 1):
        seed("lock_" + state, 3, lock=k)
        if state != "folder_held":  # no program locks a folder itself on NFS
            seed("lock_%s_nfs" % state, 3, lock=k | 16)
        seed("lock_%s_failing" % state, 3, lock=k | (1 + k % 3) << 5)
    for fault in (1, 2, 3):
        seed("lock_failing_%d" % fault, 3, lock=fault << 5)
    seed("lock_nfs", 3, lock=16)
    # Lock calls failing from the second on: the lock of the lock file the open made (no lock
    # file there), or the calls after the lock is taken (the lock file as left).
    for fault in (1, 2, 3):
        for nfs in (0, 16):
            seed("lock_missing_failing_late_%d%s" % (fault, "_nfs" if nfs else ""), 3, lock=11 | nfs | fault << 5 | 128)
        seed("lock_failing_late_%d" % fault, 3, lock=fault << 5 | 128)
    seed("lock_held_journal", 0, j3 + rename3 + end, files=[staged], lock=8)
    seed("lock_read_only_journal", 0, j3 + rename3 + end, files=[staged], lock=10)
    seed("lock_unwritable_nfs_journal", 0, j3 + rename3 + end, files=[staged], lock=7 | 16)
    seed("lock_missing_read_only_journal", 0, j3 + rename3 + end, files=[staged], lock=11 | 2 << 5)
    seed("lock_missing_lost_journal", 0, j3 + rename3 + end, lock=11)
    seed("lock_failing_note", 2 | 4 | 8, j3 + rename3 + end, note + b"000\n" + ids, [b"vcsi.a1b2c3\0" + dataset],
         lock=1 << 5)
    # A read of an open file (1), a size look-up or an open to read (2) or a listing (3)
    # failing at one of the first calls: the journal's, the staged file's, the note's and
    # the project's files' reads, and the work folder's listing.
    for kind, what in ((1, "read"), (2, "size_or_open"), (3, "listing")):
        for call in (1, 2, 3, 5):
            seed("layout3_%s_%d_failing" % (what, call), 0, j3 + rename3 + b"remove\tgone\n" + end,
                 files=[staged, b"pgone\0old"], failing=(kind, call))
            seed("layout1_old_place_%s_%d_failing" % (what, call), 1, j1 + b".csi.a1b2c3\tcsi\n" + end,
                 files=[b"p.csi.a1b2c3\0" + dataset], failing=(kind, call))
            seed("note_journal3_%s_%d_failing" % (what, call), 2 | 4 | 8, j3 + rename3 + end, note + b"000\n" + ids,
                 [b"vcsi.a1b2c3\0" + dataset], failing=(kind, call))


def batch_seeds():
    """Output folders of fuzz_batch: earlier projects with files of the user of every kind,
    leftovers of killed runs, folders that cannot be listed and places that are no project's,
    on the file systems and with the faults the first byte picks."""
    def seed(name, system, at, layouts, mark=b"", files=(), extra=(0, 0), macro=b"", image=b""):
        files = list(files) + [b""] * (4 - len(files))
        extra = (extra[0] | (128 if macro else 0), extra[1] | (128 if image else 0))
        put("fuzz_batch", name, bytes([system, at] + layouts + list(extra)) + macro + image + sections([mark] + files))

    user = [b"\x00\x02notes.txt\0the user's notes", b"\x01\x03link\0u_notes.txt",
            b"\x02\x02pipe\0", b"\x03\x07exports\0a table", b"\x04\x03secret\0unreadable"]
    deep = [b"\x01\x06link\0../u_notes.txt", b"\x00\x06kept\0in a sub-folder", b"\x01\x07link\0elsewhere"]
    seed("rerun", 0, 0, [1, 1], files=user[:4])
    seed("fuse", 1 | 2, 0, [1, 1], files=user[:4])
    seed("no_links", 4, 0, [1, 1], files=[user[0], user[2], user[4], user[3]])
    # The user's files of another group (bit 7 of the kind), carried by hard links or, where
    # the file system refuses them, by copies, which must keep it.
    other_group = [bytes([part[0] | 128]) + part[1:] for part in (user[0], user[3], user[4])]
    seed("other_group", 0, 0, [1, 1], files=other_group)
    seed("other_group_no_links", 4, 0, [1, 1], files=other_group)
    seed("links_in_sub_folders", 0, 0, [1, 1], files=[user[0]] + deep)
    # Links into the folder "kept" beside the studies, from each place and through "/" (the
    # run's folder), which no removal may reach through; one climbing further points nowhere.
    kept = [b"\x01\x03kept\0../../kept", b"\x01\x06kept_sub\0/kept/sub", b"\x01\x00kept_build\0../../kept",
            b"\x01\x02too_far\0../../../.."]
    seed("links_to_kept", 0, 0, [1 | 8, 1 | 8], files=kept)
    seed("links_to_kept_aside", 1, 0, [3, 1], files=kept)
    seed("aside", 1, 0, [3, 1 | 8 | 16], files=user[:2])
    seed("aside_empty_folder", 0, 0, [7, 3], files=user[:2])
    seed("mark", 1, 0, [3 | 32, 1 | 32], b"1 2 3 4", user[:2])
    # A swap killed after it put the earlier project in place of an older one: its mark
    # names both (s1), or not the folder in place (s2).
    seed("mark_valid", 1, 0, [1 | 32, 1 | 32], b"#0 #1", user[:2], extra=(64, 64))
    seed("mark_other", 0, 0, [1 | 32, 1 | 32], b"#2 #1", user[:2], extra=(64, 64))
    seed("full_disk", 8, 40, [1, 1], files=user[:2])
    seed("failing_disk", 16, 60, [1, 0], files=user[:2])
    seed("removals_failing", 24 | 2, 0, [1 | 8 | 16, 1], files=user[:2])
    seed("odd_files", 0, 0, [64 | 128, 4 | 64])
    # One write failing: without rename flags, the rename after the refused renameat2 that
    # puts the new project in place of the earlier one set aside.
    seed("one_write_failing", 1 | 32, 7, [1, 1], files=user[:2])
    seed("one_call_failing", 56, 5, [1, 1], files=user[:2])
    # One call of any kind failing, reads and rights too (the macro file's, the studies'
    # files', a swap's mark's, a copy's), after each of the first steps of a run, with the
    # small reader and with the Philips one, beside a swap's mark and where links fail.
    for step in (0, 1, 2, 3, 6, 10, 20, 40):
        seed("any_call_failing_%d" % step, 56, step, [1, 1], files=user[:2])
        seed("philips_any_call_failing_%d" % step, 128 | 56, step, [1, 1], files=user[:2])
    for step in (0, 2, 6, 12):
        seed("mark_any_call_failing_%d" % step, 1 | 56, step, [1 | 32, 1 | 32], b"#0 #1", user[:2], extra=(64, 64))
        seed("no_links_any_call_failing_%d" % step, 4 | 56, step, [1, 1], files=[user[0], user[3]])
    # A read alone (bit 7 of the second byte) after a step: the macro file's, a study's file's,
    # and where links fail the reads of the files of the user's that copies carry (s1's after
    # the 40th step, s2's after the 99th).
    for step in (0, 1, 3, 6, 10, 20, 30, 45, 100):
        seed("read_failing_%d" % step, 56, 128 | step, [1, 1], files=user[:2])
        seed("no_links_read_failing_%d" % step, 4 | 56, 128 | step, [1, 1], files=[user[0], user[3]])
    seed("one_rename_failing", 1 | 64, 7, [1, 1], files=user[:2])
    # The rename that puts s1's new project in place after its earlier one stepped aside
    # fails (the 18th rename of the run), and the earlier project goes back; the listing of
    # s2's own folder, which has no earlier project, fails (its 37th listing call).
    seed("second_rename_failing", 1 | 64, 18, [1, 1], files=user[:2])
    seed("study_listing_failing", 40, 37, [1, 0], files=user[:2])
    # Listings that fail: the one the second byte counts, or all from a step on.
    for n in (1, 3, 5, 7):
        seed("listing_%d_failing" % n, 40, n, [1, 0], files=user[:4])
    seed("listings_failing", 48, 9, [1, 1], files=user[:2])
    # Folders an ordinary user cannot list: the study's earlier project (mode 311, 000) and
    # the study's own folder, with and without an earlier project.
    seed("unlistable_projects", 0, 0, [1, 1], files=user[:4], extra=(4, 8))
    seed("unlistable_studies", 0, 0, [1, 0], files=user[:2], extra=(1, 2))
    seed("emptied_studies", 0, 0, [1, 0], files=user[:2], extra=(3, 3))
    seed("closed_folder", 0, 0, [1, 1], files=user[:2], extra=(12, 0))
    seed("not_a_project", 0, 0, [0, 3 | 4], extra=(32, 32))
    seed("open_here", 0, 0, [1, 1], files=user[:2], extra=(16, 0))
    # The Philips single-voxel reader (bit 7), whose data files are found only through the
    # study folder's listing: a run, and listings failing at the companion searches of
    # s1's and of s2's sets (the 25th and 75th listing calls), or all of them from a step.
    seed("philips_rerun", 128, 0, [1, 1], files=user[:2])
    for n in (25, 75):
        seed("philips_listing_%d_failing" % n, 128 | 40, n, [1, 1], files=user[:2])
    seed("philips_listings_failing", 128 | 48, 8, [1, 0], files=user[:2])
    # Macros the target writes (bit 7 of s1's second byte: the kind, the two phases and the
    # pivot): one phasing block, two (the second rules), a block of a type no step has and
    # one with a line that does not read; and an image "i.PAR" of 4 x 2 pixels in each study
    # (bit 7 of s2's second byte: its size, then its pixels), under a call of any kind
    # failing after each of the first steps.
    phasing = bytes([0, 10, 250, 3])
    image = bytes([3 | 1 << 2]) + struct.pack("<8h", 0, 1, -2, 300, -32768, 32767, 4095, 7)
    seed("macro_phasing", 0, 0, [1, 1], files=user[:2], macro=phasing)
    seed("macro_two_blocks", 0, 0, [1, 0], files=user[:2], macro=bytes([1, 200, 7, 6]))
    seed("macro_unknown_type", 0, 0, [1, 1], files=user[:2], macro=bytes([2, 1, 1, 1]))
    seed("macro_unreadable_line", 0, 0, [1, 1], files=user[:2], macro=bytes([3, 1, 1, 1]))
    seed("philips_macro_phasing", 128, 0, [1, 1], files=user[:2], macro=phasing, image=image)
    seed("image", 0, 0, [1, 0], files=user[:2], image=image)
    seed("macro_and_image_no_links", 4, 0, [1, 1], files=user[:2], macro=phasing, image=image)
    # (s1's image fails to be read after the 29th step and to be written after the 30th.)
    for step in (0, 1, 2, 4, 8, 16, 29, 30, 32, 48, 64):
        seed("macro_image_any_call_failing_%d" % step, 56, step, [1, 1], files=user[:2], macro=phasing,
             image=image)
    for step in (8, 24):
        seed("macro_image_write_failing_%d" % step, 32, step, [1, 1], files=user[:2], macro=phasing, image=image)


def committed_seeds():
    """The small seeds kept under fuzz/seeds/<target>/."""
    seeds = os.path.join(ROOT, "fuzz", "seeds")
    for target in sorted(os.listdir(seeds)):
        folder = os.path.join(seeds, target)
        if os.path.isdir(folder):
            for name in sorted(os.listdir(folder)):
                put(target, name, read(os.path.join(folder, name)))


def image_record_v9_length(data, start):
    """Bytes of the image record of the newest layout at `start`: 17 numbers, the name and
    four texts, 21 numbers, the rotation and three texts."""
    at = start + 17 * 4
    for _ in range(5):
        at = data.index(b"\0", at) + 1
    at += (3 + 9 + 9) * 4
    for _ in range(3):
        at = data.index(b"\0", at) + 1
    return at - start


# Calls of an open of each golden project at which a failing read, size look-up or open to
# read (counted from the open's start) meets another file or step: for the old versions'
# reads the data-set file's header, each map file, the conversion's read of the set's
# samples and of the 8-bit pixel file (versions 0-4) and the pixels shown, their size
# look-ups and opens in the conversion; for the newest the size look-ups and opens of the
# data-set and map files and of the pixels shown, and the size look-up of the pixel file
# as the open checks it (2; its reads have seeds of their own).
# A change that adds or drops such calls before one of them moves it: they are to be
# counted again then (fuzz_project's call count is 1 plus its 16 bits).
OPEN_FAULTS = {
    0: ((97, 98, 110, 141), (6,), (5,)),
    1: ((224, 225, 237, 268), (6,), (5,)),
    2: ((241, 242, 271, 300, 314), (11,), (7,)),
    3: ((286, 287, 322, 357, 371), (11,), (7,)),
    4: ((354, 355, 390, 425, 439), (11,), (7,)),
    5: ((361, 362, 397, 432), (9,), (6,)),
    6: ((374, 375, 410, 445), (10,), (6,)),
    7: ((376, 377, 412, 447), (10,), (6,)),
    8: ((379, 380, 445, 510), (10,), (6,)),
    9: ((), (2, 7, 8, 19), (3, 4, 11)),
}


def exam_with_image():
    """fuzz_spar_sdat: the seed writer's 2-D CSI set given by its folder through Add Exam
    (second byte, bit 6) with an image beside it (after a zero byte in the PAR part: the
    answer to the geometry question, a PAR text of one 2 x 2 line, a zero byte and its REC
    file), read outside a batch run (first byte, bit 7): the image's angulation, none or 10
    degrees about each axis, agrees with the set's geometry or makes the exam ask whether
    to add the set, which the answer No (its default) keeps out and Yes lets in; and at 10
    degrees in a batch run, where nothing is asked.
    fuzz_list: the seed writer's stack and volume through Add Exam given the LIST file or
    its folder, with an image the target writes (after a zero byte in the PAR part: the
    answer, then the image's values) at those angulations, outside a batch run and, at 10
    degrees, in one, where nothing is asked (the stack only there: outside a batch run its
    reader asks for the PAR file in a dialog, which the target cancels)."""
    list_exam_with_image()
    path = os.path.join(OUT, "fuzz_spar_sdat", "csi_2_axis0_exam_2")
    if not os.path.isfile(path):
        return
    seed = read(path)
    lengths = struct.unpack("<2H", seed[2:6])
    spar = seed[6:6 + lengths[0]]
    sdat = seed[6 + lengths[0] + lengths[1]:]
    for degrees, answer, batch in ((0, 0, False), (10, 0, False), (10, 1, False), (10, 1, True)):
        par = ("# === DATA DESCRIPTION FILE ======================\n#\n"
               "# CLINICAL TRYOUT             Research image export tool     V4.2\n#\n"
               ".    Patient name                       :   Doe\n"
               ".    Examination name                   :   Exam\n"
               ".    Protocol name                      :   seed\n"
               ".    Examination date/time              :   2024.01.01 / 12:34:56\n"
               ".    Repetition time [msec]             :   2000.00\n"
               ".    Angulation midslice(ap,fh,rl)[degr]:   %d.0000  %d.0000  %d.0000\n"
               ".    Off Centre midslice(ap,fh,rl) [mm] :   0.0000  0.0000  0.0000\n#\n" % (degrees, degrees, degrees))
        columns = ["0"] * 41
        columns[6], columns[7], columns[9], columns[10] = "1", "16", "2", "2"
        columns[22], columns[25], columns[28], columns[29] = "10.0000", "1", "1.0000", "1.0000"
        par += " " + " ".join(columns) + "\n"
        rec = struct.pack("<4h", 1, 2, 3, 4)
        put("fuzz_spar_sdat", "exam_with_image_%d%s%s" % (degrees, "_yes" if answer else "", "_batch" if batch else ""),
            bytes([seed[0] | (0 if batch else 0x80), seed[1]]) + sections([spar, b"\0" + bytes([answer]) + par.encode() + b"\0" + rec, sdat]))


def list_exam_with_image():
    for format in (5, 8):
        for road in (1, 2):
            path = os.path.join(OUT, "fuzz_list", "list_%d_exam_%d" % (format, road))
            if not os.path.isfile(path):
                continue
            seed = read(path)
            lengths = struct.unpack("<3H", seed[1:7])
            at = [7]
            for length in lengths:
                at.append(at[-1] + length)
            parts = [seed[at[k]:at[k + 1]] for k in range(3)] + [seed[at[3]:]]
            for degrees, answer, batch in ((0, 0, False), (10, 0, False), (10, 1, False), (10, 1, True)):
                if format == 5 and not batch:
                    continue
                # One 2 x 2 image of 16 bits: its count, TR, angulation, off-centre, field of
                # view, shifts, names and date; the line's sizes, kind, off-centre, spacings,
                # thickness and echo time; its pixels.
                angle = degrees * 8
                values = (bytes([0]) + struct.pack("<H", 8000) + bytes([angle] * 3) + bytes([4, 250, 8]) +
                          bytes([200, 100, 200]) + bytes(3) + bytes([1, 2, 0, 0]) +
                          bytes([0x09, 0x02, 0, 0, 0, 15, 15, 80, 20]) + struct.pack("<4h", 1, -2, 3, -4))
                pick = seed[0] | (0 if batch else 0x80)
                put("fuzz_list", "list_%d_exam_%d_image_%d%s%s" % (format, road, degrees, "_yes" if answer else "",
                                                                   "_batch" if batch else ""),
                    bytes([pick]) + sections(parts[:2] + [parts[2] + b"\0" + bytes([answer]) + values, parts[3]]))


def golden_files():
    for name in sorted(os.listdir(GOLDEN)):
        path = os.path.join(GOLDEN, name)
        if name.startswith("dataset_"):
            put("fuzz_internal_format", name, read(path))
        if name.startswith("project_v"):
            files = [n for n in sorted(os.listdir(path)) if not n.endswith(".tpj")]
            tpj = [n for n in os.listdir(path) if n.endswith(".tpj")][0]
            named = [n.encode() + b"\0" + read(os.path.join(path, n)) for n in files][:5]
            named += [b""] * (5 - len(named))
            for pick in (0, 3, 4, 8):
                put("fuzz_project", "%s_%d" % (name, pick), bytes([pick]) + sections([read(os.path.join(path, tpj))] + named))
            # A save of the project file left half done, in the journal of earlier versions
            # beside it: the staged project file is put in place as the project opens.
            journal = b"Vexara file journal 1\n.project.tpj.a1b2c3\tproject.tpj\nend\n"
            staged = b".project.tpj.a1b2c3\0" + read(os.path.join(path, tpj))
            old = b".project.tpj.journal\0" + journal
            journal_files = sections([read(os.path.join(path, tpj)), old, staged] + named[:3])
            put("fuzz_project", "%s_journal" % name, bytes([0]) + journal_files)
            # A read, a size look-up or an open to read failing while the project opens
            # (bit 7, then the call's kind: 0 a read, 8 a size look-up, 16 an open; and its
            # count less one), at each call of OPEN_FAULTS; the listing of its folder; and,
            # after a save left half done, the project file's first read once the journal
            # has put it in place.
            files_part = sections([read(os.path.join(path, tpj))] + named)
            version = int(name[len("project_v"):])
            for kind, byte in (("read", 0), ("size", 8), ("open", 16)):
                for call in OPEN_FAULTS[version][(0, 8, 16).index(byte)]:
                    put("fuzz_project", "%s_%s_%d_failing" % (name, kind, call),
                        bytes([128, byte]) + struct.pack("<H", call - 1) + files_part)
            if version < 9:
                put("fuzz_project", "%s_listing_1_failing" % name, bytes([128, 1, 0, 0]) + files_part)
                put("fuzz_project", "%s_journal_read_2_failing" % name, bytes([128, 0, 1, 0]) + journal_files)
            if name == "project_v9":
                # One field of the set's data-set file header changed after a first open
                # (the second byte picks which), and each file replaced by a FIFO, a folder or
                # a link to a FIFO (the second byte: file + 5 * kind).
                files_part = sections([read(os.path.join(path, tpj))] + named)
                for field in range(23):
                    put("fuzz_project", "%s_header_field_%d" % (name, field), bytes([32, field]) + files_part)
                # A listing or a read failing while the project opens (bit 7: the call, then
                # its count less one): the work folder's listings, and reads counted from the
                # start of each kind of read (bits 1-2 of the call's byte): the open's (the
                # project file, the data-set file's header, the maps: the last read of each
                # map file, 445 and 510, takes its values), the samples' and the pixels'.
                for listing in range(1, 7):
                    put("fuzz_project", "%s_listing_%d_failing" % (name, listing),
                        bytes([128, 1]) + struct.pack("<H", listing - 1) + files_part)
                    put("fuzz_project", "%s_journal_listing_%d_failing" % (name, listing),
                        bytes([128, 1]) + struct.pack("<H", listing - 1) + journal_files)
                for read_call in (1, 100, 300, 380, 385, 400, 445, 450, 510, 520, 600, 700):
                    put("fuzz_project", "%s_read_%d_failing" % (name, read_call),
                        bytes([128, 0]) + struct.pack("<H", read_call - 1) + files_part)
                for kind, calls in (("samples", (1, 2, 6)), ("pixels", (1,))):
                    for read_call in calls:
                        put("fuzz_project", "%s_%s_read_%d_failing" % (name, kind, read_call),
                            bytes([128, 2 if kind == "samples" else 4]) + struct.pack("<H", read_call - 1) + files_part)
                for index in range(len(files)):
                    for kind in range(3):
                        put("fuzz_project", "%s_special_%s_%d" % (name, files[index], kind),
                            bytes([64, index + 5 * kind]) + files_part)
                # Its image record twice: the second names the first's pixel file and is kept
                # aside as it was read, patient name and all, for de-identifying to replace.
                project = read(os.path.join(path, tpj))
                record = project[28:28 + image_record_v9_length(project, 28)]
                doubled = project[:24] + struct.pack("<i", 2) + record + project[28:]
                put("fuzz_project", "%s_image_twice" % name, bytes([0]) + sections([doubled] + named))
                # The same with a patient name of one letter, the last of the image's name
                # ("ax"), which de-identifying must replace in the record kept aside too.
                name_at = record.index(b"\0", 17 * 4) + 1
                short = record[:name_at] + b"x" + record[record.index(b"\0", name_at):]
                doubled = project[:24] + struct.pack("<i", 2) + short + short + project[28 + len(record):]
                put("fuzz_project", "%s_image_twice_short_name" % name, bytes([0]) + sections([doubled] + named))
        if name.startswith("map_v"):
            put("fuzz_project", name, bytes([0]) + sections([b"", b"csi_NAA_map\0" + read(path), b"", b"", b"", b""]))
    # Data-set files of another version than their project's: the newest project with the
    # set's file of each older layout (of versions 0 and 1 its samples alone, told from the
    # file's size), and each older project with the set's file of the newest layout.
    def project(version, csi=None):
        path = os.path.join(GOLDEN, "project_v%d" % version)
        files = [n for n in sorted(os.listdir(path)) if not n.endswith(".tpj")]
        tpj = [n for n in os.listdir(path) if n.endswith(".tpj")][0]
        named = [n.encode() + b"\0" + (csi if n == "csi" and csi is not None else read(os.path.join(path, n)))
                 for n in files][:5]
        return read(os.path.join(path, tpj)), named + [b""] * (5 - len(named))
    versions = [v for v in range(10) if os.path.isdir(os.path.join(GOLDEN, "project_v%d" % v))]
    if 9 in versions:
        newest_csi = read(os.path.join(GOLDEN, "project_v9", "csi"))
        for version in versions[:-1]:
            tpj, named = project(9, read(os.path.join(GOLDEN, "project_v%d" % version, "csi")))
            put("fuzz_project", "project_v9_csi_of_v%d" % version, bytes([0]) + sections([tpj] + named))
            tpj, named = project(version, newest_csi)
            put("fuzz_project", "project_v%d_csi_of_v9" % version, bytes([0]) + sections([tpj] + named))
        # The project file's own open failing (the first opens to read).
        tpj, named = project(9)
        for call in (1, 2):
            put("fuzz_project", "project_v9_open_%d_failing" % call,
                bytes([128, 16]) + struct.pack("<H", call - 1) + sections([tpj] + named))


def synthetic(build, jobs, tool):
    if build:
        subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "build/release", "-j%d" % jobs, "--target", "vx_fuzz_seeds"], cwd=ROOT,
                       check=True, stdout=subprocess.DEVNULL)
    if not os.path.isfile(tool):
        sys.exit("the seed writer is not built: cmake --build build/release --target vx_fuzz_seeds")
    subprocess.run([tool, OUT], check=True)


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n\n", 1)[1])
    parser.add_argument("--out", default=OUT, help="the folder of the seeds (default: build/fuzz-seeds)")
    parser.add_argument("--jobs", type=int, default=3, help="parallel jobs of the seed writer's build (default: 3)")
    parser.add_argument("--no-build", action="store_true", help="take the seed writer as it is built")
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "release", "tests", "vx_fuzz_seeds"),
                        help="the seed writer (default: build/release/tests/vx_fuzz_seeds)")
    parser.add_argument("--no-synthetic", action="store_true", help="write no seed of the seed writer's")
    return parser.parse_args()


def main():
    global OUT
    args = arguments()
    build = not args.no_build
    jobs = args.jobs
    tool = os.path.abspath(args.tool)
    OUT = os.path.abspath(args.out)
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    real_files()
    golden_files()
    committed_seeds()
    rda_seeds()
    dicom_seeds()
    parrec_seeds()
    genesis_seeds()
    chosen_seeds()
    mask_seeds()
    sage_seeds()
    work_folder_seeds()
    batch_seeds()
    if not args.no_synthetic:
        synthetic(build, jobs, tool)
        exam_with_image()
    for target in sorted(os.listdir(OUT)):
        print("%-22s %4d seeds" % (target, len(os.listdir(os.path.join(OUT, target)))))


if __name__ == "__main__":
    main()
