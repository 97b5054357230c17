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

    // What every subsection class does with its own subsection key. A failed
    // construction-time init writes "<class>::<name>: Can't init, leaving..."
    // and leaves the block without a version; a failed assign writes
    // "<class>::assign: Can't init, leaving..." after the base's own message
    // and returns -1. Neither ends the process: a malformed file must not take
    // a program with unsaved work down with it.
    void construct_as(const char* name, int subsec_key, const int& version_key, const int& byte_order);
    int assign_as(int subsec_key, const std::string& bytes, const int& version_key, const int& byte_order,
                  std::span<const GELayoutFn> fields);

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

// Base of the subsection classes: binds GESubSec to one subsection key and
// gives the class its name (which opens its messages) and, where `Derived`
// has one, its static `fields` list of field-layout functions.
template <class Derived, int Key>
class GESubSecOf : public GESubSec {
public:
    static constexpr int kSubSecKey = Key;

    // A failed init is reported on stderr and leaves the block without a
    // version (see construct_as).
    GESubSecOf(const int& version_key, const int& byte_order)
    {
        construct_as(Derived::name, Key, version_key, byte_order);
    }

    int init(const int& version_key, const int& byte_order)
    {
        return GESubSec::init(Key, version_key, byte_order);
    }

    int assign(const std::string& bytes, const int& version_key, const int& byte_order)
    {
        return assign_as(Key, bytes, version_key, byte_order, field_list());
    }

private:
    static std::span<const GELayoutFn> field_list()
    {
        if constexpr (requires { Derived::fields; })
            return Derived::fields;
        else
            return {};
    }
};
