#pragma once
// Base of every GE header block (subsection).
//
// A subsection holds one block's bytes exactly as they lie in the file, the
// version key its layout belongs to and whether numbers must be byte-reversed
// for this host. Fields are never stored decoded: every access goes through a
// field-layout function and the typed accessors below, which check the field
// against the bytes actually held.
#include "gehdr/GELayout.h"
#include "gehdr/GETables.h"

#include <cstdint>
#include <span>
#include <string>

class GESubSec {
public:
    virtual ~GESubSec() = default;

    // Number of bytes held (0 while empty).
    virtual std::uint32_t size() const;

    // Resets the subsection and gives it a version without bytes: 0, or -1 for
    // an unknown subsection key or a version this block has no size for. A
    // version outside 0..11 (such as -1) leaves the subsection without one and
    // returns 0. Prints nothing.
    int init(const int& subsec_key, const int& version_key, const int& byte_order);

    // Resets the subsection and stores `bytes`, whose length must be the
    // block's size for the version (empty bytes store nothing and succeed).
    // Reports every failure on stderr and returns -1.
    int assign(const int& subsec_key, const std::string& bytes, const int& version_key,
               const int& byte_order);

    // The field's raw bytes (NUL bytes included), or "Not Defined" when the
    // field is absent or not inside the bytes held.
    std::string get_string(GELayoutFn layout) const;
    // Numbers read in the file's byte order; -1 (all bits set) when the field
    // is absent or not inside the bytes held.
    std::uint16_t get_ushort(GELayoutFn layout) const;
    std::int16_t get_short(GELayoutFn layout) const;
    std::int32_t get_int(GELayoutFn layout) const;
    float get_float(GELayoutFn layout) const;

    // Overwrite a field in the held copy of the bytes (never the file):
    // 0, or -1 with nothing changed.
    int set_ushort(GELayoutFn layout, const std::uint16_t& value);
    int set_short(GELayoutFn layout, const std::int16_t& value);
    int set_int(GELayoutFn layout, const std::int32_t& value);
    int set_float(GELayoutFn layout, const float& value);

    int version_key() const { return m_version_key; }
    int host_little() const { return m_host_little; }
    int swap() const { return m_swap; }
    const std::string& data() const { return m_data; }
    const GEKeyTable& sizes() const { return m_sizes; }
    std::span<const GELayoutFn> field_table() const { return m_field_table; }
    const std::string& class_name() const { return m_class_name; }

protected:
    GESubSec();
    void set_class_name(std::string name) { m_class_name = std::move(name); }
    void set_field_table(std::span<const GELayoutFn> table) { m_field_table = table; }

private:
    void reset(const int& byte_order);
    // Offset of a `width`-byte number field that lies wholly inside the bytes
    // held, or -1.
    std::int64_t number_offset(GELayoutFn layout, int width) const;
    bool read_bytes(GELayoutFn layout, int width, void* out) const;
    int write_bytes(GELayoutFn layout, int width, const void* in);

    int m_version_key = GEUndefined;
    int m_host_little;
    int m_swap = 0;
    std::string m_data;
    GEKeyTable m_sizes;
    std::span<const GELayoutFn> m_field_table;
    std::string m_class_name = "GESubSec";
};
