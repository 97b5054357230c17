#include "gehdr/GESubSec.h"

#include "gehdr/GEByteOrder.h"

#include <cstring>
#include <iostream>

GESubSec::GESubSec() : m_host_little(GEHostIsLittleEndian() ? 1 : 0) {}

std::uint32_t GESubSec::size() const
{
    return std::uint32_t(m_data.size());
}

void GESubSec::reset(const int& byte_order)
{
    m_version_key = GEUndefined;
    m_swap = GESwapFlag(byte_order);
    m_data.clear();
    m_sizes = GEKeyTable();
    m_field_table = {};
}

int GESubSec::init(const int& subsec_key, const int& version_key, const int& byte_order)
{
    reset(byte_order);
    if (!IsSubSecKey(subsec_key))
        return -1;
    if (!IsVersionKey(version_key))
        return 0;  // a blank subsection without a version
    if (!SubSecSize[std::size_t(subsec_key)].has(version_key))
        return -1;
    m_version_key = version_key;
    return 0;
}

int GESubSec::assign(const int& subsec_key, const std::string& bytes, const int& version_key,
                     const int& byte_order)
{
    reset(byte_order);
    const std::string prefix = m_class_name + "(GESubSec)::assign: ";
    if (!IsSubSecKey(subsec_key)) {
        std::cerr << prefix << "subsection key: " << subsec_key << " doesn't exist\n";
        return -1;
    }
    if (!IsVersionKey(version_key)) {
        std::cerr << prefix << "version key: " << version_key << " doesn't exist\n";
        return -1;
    }
    const GEKeyTable& sizes = SubSecSize[std::size_t(subsec_key)];
    if (!sizes.has(version_key)) {
        std::cerr << prefix << "version key: " << version_key << " is not valid for "
                  << "subsection key: " << subsec_key << "\n";
        return -1;
    }
    m_version_key = version_key;
    if (bytes.empty())
        return 0;
    m_sizes = sizes;
    if (bytes.size() != std::size_t(sizes.at(version_key))) {
        std::cerr << prefix << "Passed string has length " << bytes.size() << " expected "
                  << sizes.at(version_key) << "\n";
        return -1;
    }
    m_data = bytes;
    return 0;
}

void GESubSec::construct_as(const char* name, int subsec_key, const int& version_key,
                            const int& byte_order)
{
    m_class_name = name;
    if (init(subsec_key, version_key, byte_order) != 0)
        std::cerr << m_class_name << "::" << name << ": " << "Can't init, leaving..." << "\n";
}

int GESubSec::assign_as(int subsec_key, const std::string& bytes, const int& version_key,
                        const int& byte_order, std::span<const GELayoutFn> fields)
{
    if (assign(subsec_key, bytes, version_key, byte_order) != 0) {
        std::cerr << m_class_name << "::assign: " << "Can't init, leaving..." << "\n";
        return -1;
    }
    m_field_table = fields;
    return 0;
}

std::int64_t GESubSec::number_offset(GELayoutFn layout, int width) const
{
    if (layout == nullptr || m_data.empty())
        return -1;
    const GELayout l = layout(m_version_key);
    if (l.empty() || l[0] < 0)
        return -1;
    const std::int64_t offset = l[0];
    if (offset + width > std::int64_t(m_data.size()))
        return -1;
    return offset;
}

bool GESubSec::read_bytes(GELayoutFn layout, int width, void* out) const
{
    const std::int64_t offset = number_offset(layout, width);
    if (offset < 0)
        return false;
    std::memcpy(out, m_data.data() + offset, std::size_t(width));
    return true;
}

int GESubSec::write_bytes(GELayoutFn layout, int width, const void* in)
{
    if (layout == nullptr)
        return -1;
    const GELayout l = layout(m_version_key);
    if (l.size() < 2 || l[0] < 0 || l[1] < 0)
        return -1;
    const std::int64_t offset = number_offset(layout, width);
    if (offset < 0)
        return -1;
    std::memcpy(m_data.data() + offset, in, std::size_t(width));
    return 0;
}

std::string GESubSec::get_string(GELayoutFn layout) const
{
    if (layout == nullptr || m_data.empty())
        return std::string(NotDefinedText);
    const GELayout l = layout(m_version_key);
    if (l.size() < 2 || l[0] < 0 || l[1] < 0)
        return std::string(NotDefinedText);
    const std::int64_t offset = l[0], length = l[1];
    if (offset + length > std::int64_t(m_data.size()))
        return std::string(NotDefinedText);
    return m_data.substr(std::size_t(offset), std::size_t(length));
}

std::uint16_t GESubSec::get_ushort(GELayoutFn layout) const
{
    std::uint16_t v = 0xFFFF;
    if (!read_bytes(layout, 2, &v))
        return 0xFFFF;
    return GEswap16(v, m_swap);
}

std::int16_t GESubSec::get_short(GELayoutFn layout) const
{
    return std::int16_t(get_ushort(layout));
}

std::int32_t GESubSec::get_int(GELayoutFn layout) const
{
    std::int32_t v = -1;
    if (!read_bytes(layout, 4, &v))
        return -1;
    return GEswap32(v, m_swap);
}

float GESubSec::get_float(GELayoutFn layout) const
{
    float v = -1.0f;
    if (!read_bytes(layout, 4, &v))
        return -1.0f;
    return GEswapfloat(v, m_swap);
}

int GESubSec::set_ushort(GELayoutFn layout, const std::uint16_t& value)
{
    const std::uint16_t v = GEswap16(value, m_swap);
    return write_bytes(layout, 2, &v);
}

int GESubSec::set_short(GELayoutFn layout, const std::int16_t& value)
{
    return set_ushort(layout, std::uint16_t(value));
}

int GESubSec::set_int(GELayoutFn layout, const std::int32_t& value)
{
    const std::int32_t v = GEswap32(value, m_swap);
    return write_bytes(layout, 4, &v);
}

int GESubSec::set_float(GELayoutFn layout, const float& value)
{
    const float v = GEswapfloat(value, m_swap);
    return write_bytes(layout, 4, &v);
}
