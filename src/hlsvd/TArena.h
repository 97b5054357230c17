#pragma once
// Hands out consecutive pieces of a caller's work array. Without a base it only
// counts, so that one layout function both sizes the work arrays and carves them.
namespace vx::hlsvd {

template <typename T>
class TArena {
public:
    TArena() = default;  // counting only
    TArena(T* base, long size) : m_base(base), m_size(size) {}

    // The next `count` values, or null while counting or once the array is exhausted.
    T* Take(long count)
    {
        const long at = m_used;
        m_used += count;
        if (!m_base || m_used > m_size)
            return nullptr;
        return m_base + at;
    }
    long Used() const { return m_used; }
    bool Fits(long size) const { return m_used <= size; }

private:
    T* m_base = nullptr;
    long m_size = 0;
    long m_used = 0;
};

}  // namespace vx::hlsvd
