#!/usr/bin/env python3
"""Generates src/gehdr/GEFieldLayoutData.h from the GE field layout tables.

The layouts of the GE header blocks (where each field lies, per version key)
are long tables kept as markdown. This script reads those markdown files,
finds the seven block tables by their section titles and writes them as
constexpr C++ data, so that the C++ tables can be regenerated and diffed
instead of typed by hand.

Usage:
    tools/gen_ge_tables.py [--check] [--out FILE] MARKDOWN...

MARKDOWN are the documents holding the tables (any order). With --check the
script writes nothing and exits 1 when the committed file differs.
"""

import argparse
import difflib
import os
import re
import sys

# One entry per block: the section title that holds its table, which table
# of that section (0 = first), the class, its subsection key, the number of
# fields the table must have, and whether a version key that no column names
# takes the last column's layout (True) or is absent (False).
BLOCKS = [
    ("Field layouts of the image control and histogram blocks", 0, "GEImgCtrl", 5, 40, False),
    ("Field layouts of the image control and histogram blocks", 1, "GEHistData", 7, 8, False),
    ("Field layouts of the raw header block", 0, "GERdbHdr", 0, 26, False),
    ("Field layouts of the suite and exam blocks", 0, "GESuiteData", 8, 8, False),
    ("Field layouts of the suite and exam blocks", 1, "GEExamData", 10, 73, False),
    ("GESeriesData field table", 0, "GESeriesData", 11, 127, True),
    ("GEMRImgData field table", 0, "GEMRImgData", 12, 282, True),
]

# Field 102 of the series block carries a third layout entry, the width of
# its elements: 1 in keys 1 and 3 (32 one-byte elements), 4 in the others.
EXTRA_ENTRIES = {"GESeriesData": (102, {1: 1, 3: 1, 6: 4, 7: 4, 9: 4, 11: 4})}

ABSENT = -1
REST = -2  # size marker: from the field's offset to the end of the block

HEADER = """\
#pragma once
// Field layouts of the GE header blocks: for every field, its offset and size
// in each version's layout. Generated from the field layout tables by
// tools/gen_ge_tables.py; do not edit by hand, regenerate and diff instead.
#include "gehdr/GEFieldLayout.h"

// clang-format off
"""


def sections(lines):
    """Maps each level-1 heading's title (text after its first ': ') to its lines."""
    result, title, body = {}, None, []
    for line in lines:
        if line.startswith("# "):
            if title is not None:
                result[title] = body
            heading = line[2:].strip()
            title = heading.split(": ", 1)[1] if ": " in heading else heading
            body = []
        elif title is not None:
            body.append(line)
    if title is not None:
        result[title] = body
    return result


def tables(body):
    """The markdown tables of a section, each a list of rows of cell texts."""
    found, current = [], []
    for line in body:
        if line.startswith("|"):
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if not all(re.fullmatch(r":?-+:?", c) for c in cells):
                current.append(cells)
        elif current:
            found.append(current)
            current = []
    if current:
        found.append(current)
    return found


def key_columns(header):
    """Indices and version-key sets of the header cells that name keys."""
    columns = []
    for i, cell in enumerate(header):
        m = re.fullmatch(r"keys? ([\d, ]+)", cell)
        if m:
            columns.append((i, [int(k) for k in m.group(1).split(",")]))
    if not columns:
        raise SystemExit("no version-key columns in table header %r" % header)
    return columns


def parse_cell(cell, width):
    """(offset, size) of one layout cell; width is the table's Width cell or None."""
    if cell in ("absent", "—", "-"):
        return None
    m = re.fullmatch(r"(\d+)(?: \((\d+)\))?", cell)
    if not m:
        raise SystemExit("cannot read layout cell %r" % cell)
    offset = int(m.group(1))
    if m.group(2) is not None:
        return offset, int(m.group(2))
    if width is None or not width.isdigit():
        raise SystemExit("cell %r has no size and the row no fixed width" % cell)
    return offset, int(width)


def read_block(rows, cls, expected_fields):
    header, rows = rows[0], rows[1:]
    lower = [h.lower() for h in header]
    number_col = lower.index("no.") if "no." in lower else lower.index("field")
    name_col = header.index("Field") if "Field" in header else None
    width_col = lower.index("width") if "width" in lower else None
    type_col = next(i for i, h in enumerate(lower) if h.startswith("type"))
    columns = key_columns(header)

    fields = []
    for number, row in enumerate(rows):
        if int(row[number_col]) != number:
            raise SystemExit("%s: row %s out of order" % (cls, row[number_col]))
        width = row[width_col] if width_col is not None else None
        kind = row[type_col]
        rest = width == "rest" or "rest of the subsection" in kind
        cells = [parse_cell(row[i], None if rest else width) for i, _ in columns]
        present = [c for c in cells if c is not None]
        sizes = {s for _, s in present}
        if rest:
            absent_size = REST
        elif width is not None and width.isdigit():
            absent_size = int(width)
        else:
            absent_size = sizes.pop() if len(sizes) == 1 else ABSENT
        offsets = [c[0] if c else ABSENT for c in cells]
        sizes = [REST if rest else (c[1] if c else absent_size) for c in cells]
        name = None
        if name_col is not None:
            name = row[name_col].strip("`")
        else:
            m = re.search(r"`%s::(\w+)`" % cls, kind)
            name = m.group(1) if m else None
        fields.append((number, name, offsets, sizes))
    if len(fields) != expected_fields:
        raise SystemExit("%s: %d fields, expected %d" % (cls, len(fields), expected_fields))
    return columns, fields


def emit_block(out, cls, subsec, others_take_last, columns, fields):
    ncol = len(columns)
    other = ncol - 1 if others_take_last else -1
    column_of_key = [other] * 12
    for index, (_, keys) in enumerate(columns):
        for k in keys:
            column_of_key[k] = index
    extra_field, extra = -1, [0] * ncol
    if cls in EXTRA_ENTRIES:
        extra_field, by_key = EXTRA_ENTRIES[cls]
        extra = [by_key[keys[0]] for _, keys in columns]

    names = " | ".join(("key " if len(k) == 1 else "keys ") + ", ".join(map(str, k)) for _, k in columns)
    out.append("// %s: %d fields; layout columns: %s." % (cls, len(fields), names))
    out.append("inline constexpr GEFieldTable<%d, %d> %sLayouts{" % (ncol, len(fields), cls))
    out.append("    %d,  // subsection key" % subsec)
    out.append("    {%s},  // column of version keys 0 to 11" % ", ".join(map(str, column_of_key)))
    out.append("    %d,  // column of keys outside 0 to 11 but -1" % other)
    out.append("    %d, {%s},  // field with a third layout entry, and that entry" %
               (extra_field, ", ".join(map(str, extra))))
    out.append("    {{")
    for number, name, offsets, sizes in fields:
        out.append("        {{%s}, {%s}},  // %d%s" % (
            ", ".join("%d" % o for o in offsets), ", ".join("%d" % s for s in sizes),
            number, " " + name if name else ""))
    out.append("    }}};")
    named = [(n, name) for n, name, _, _ in fields
             if name and not re.fullmatch(r"field\d+|pad", name)]
    out.append("")
    if named:
        out.append("// Numbers of the named fields of %s." % cls)
        out.append("struct %sFields {" % cls)
        for number, name in named:
            out.append("    static constexpr int %s = %d;" % (name, number))
        out.append("};")
        out.append("")


def generate(markdown_files):
    all_sections = {}
    for path in markdown_files:
        with open(path, encoding="utf-8") as f:
            all_sections.update(sections(f.read().splitlines()))
    out = [HEADER.rstrip("\n"), ""]
    for title, index, cls, subsec, count, others_take_last in BLOCKS:
        if title not in all_sections:
            raise SystemExit("section %r not found" % title)
        found = tables(all_sections[title])
        columns, fields = read_block(found[index], cls, count)
        emit_block(out, cls, subsec, others_take_last, columns, fields)
    out.append("// clang-format on")
    return "\n".join(out) + "\n"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true", help="only compare with the committed file")
    parser.add_argument("--out", default=os.path.join(root, "src", "gehdr", "GEFieldLayoutData.h"))
    parser.add_argument("markdown", nargs="+")
    args = parser.parse_args()
    text = generate(args.markdown)
    if args.check:
        old = open(args.out, encoding="utf-8").read() if os.path.exists(args.out) else ""
        if old != text:
            sys.stdout.writelines(difflib.unified_diff(old.splitlines(True), text.splitlines(True),
                                                       args.out, "generated"))
            return 1
        return 0
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
