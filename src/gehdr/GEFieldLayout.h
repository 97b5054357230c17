#pragma once
// Field-layout functions built from constexpr layout tables.
//
// A block's table gives, per field, one offset and one size per layout
// column; a column serves one or more version keys. The field-layout function
// of field N looks the version key's column up and returns {offset, size}
// (plus the third entry where a field has one). Version key -1 always gives
// {-1, -1}; a field that a layout lacks has offset -1.
#include "gehdr/GELayout.h"
#include "gehdr/GETables.h"

#include <array>
#include <cstddef>
#include <utility>

// Size marker of the last field of a block: it runs from its offset to the
// end of the block, whose size depends on the version key.
inline constexpr int kRestOfBlock = -2;

template <std::size_t C>
struct GEFieldRow {
    std::array<int, C> offset;  // bytes from the start of the block; -1 absent
    std::array<int, C> size;    // bytes, or kRestOfBlock
};

template <std::size_t C, std::size_t N>
struct GEFieldTable {
    int subsec_key;
    std::array<int, VersionKeys.size()> column_of_key;  // -1: the key has no layout
    int column_of_other_keys;                           // keys outside 0..11 except -1
    int extra_field;                                    // field with a third entry, or -1
    std::array<int, C> extra;                           // that entry per column
    std::array<GEFieldRow<C>, N> rows;

    static constexpr std::size_t kFields = N;

    constexpr int column(int key) const
    {
        if (key == GEUndefined)
            return -1;
        return IsVersionKey(key) ? column_of_key[std::size_t(key)] : column_of_other_keys;
    }

    // The layout of `field` for `key`, as {offset, size, third entry or -1}.
    constexpr std::array<int, 3> layout(std::size_t field, int key) const
    {
        const int c = column(key);
        if (c < 0 || field >= N)
            return {GEUndefined, GEUndefined, GEUndefined};
        const GEFieldRow<C>& row = rows[field];
        const int offset = row.offset[std::size_t(c)];
        int size = row.size[std::size_t(c)];
        if (size == kRestOfBlock) {
            // Only a key with a block size has a defined rest.
            const GEKeyTable& blockSizes = SubSecSize[std::size_t(subsec_key)];
            if (!blockSizes.has(key) || offset < 0)
                return {GEUndefined, GEUndefined, GEUndefined};
            size = blockSizes.at(key) - offset;
        }
        const int third = int(field) == extra_field ? extra[std::size_t(c)] : GEUndefined;
        return {offset, size, third};
    }
};

// Field-layout function of field `Field` of the table `Table`.
template <const auto& Table, std::size_t Field>
GELayout GEFieldLayoutFn(const int& version_key)
{
    const std::array<int, 3> l = Table.layout(Field, version_key);
    if (l[2] != GEUndefined)
        return GELayout{l[0], l[1], l[2]};
    return GELayout{l[0], l[1]};
}

// The list of a table's field-layout functions, in field order.
template <const auto& Table, std::size_t... Fields>
constexpr auto GEMakeFieldList(std::index_sequence<Fields...>)
{
    return std::array<GELayoutFn, sizeof...(Fields)>{&GEFieldLayoutFn<Table, Fields>...};
}

template <const auto& Table>
constexpr auto GEMakeFieldList()
{
    return GEMakeFieldList<Table>(std::make_index_sequence<std::remove_cvref_t<decltype(Table)>::kFields>());
}
