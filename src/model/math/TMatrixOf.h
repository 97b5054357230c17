#pragma once
// A two-dimensional matrix of floats or doubles, row-major (element (row, column) at
// row * columns + column), with bounds-tested access. TFloatMatrix and TDoubleMatrix
// are its two kinds.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

template <typename T>
class TMatrixOf {
public:
    TMatrixOf() = default;
    TMatrixOf(const TMatrixOf&) = default;
    TMatrixOf& operator=(const TMatrixOf&) = default;
    TMatrixOf(TMatrixOf&&) = default;
    TMatrixOf& operator=(TMatrixOf&&) = default;
    virtual ~TMatrixOf() = default;

    // Drops the old elements and makes rows x columns zeros.
    void Resize(uint32_t rows, uint32_t columns)
    {
        m_data.assign(size_t(rows) * columns, T(0));
        m_nRows = rows;
        m_nColumns = columns;
    }
    // Both throw std::runtime_error("fatal!") outside the matrix or without data.
    T At(uint32_t row, uint32_t column) const { return m_data[Checked(row, column)]; }
    void Set(uint32_t row, uint32_t column, T value) { m_data[Checked(row, column)] = value; }
    // Multiplies every element; nothing without data.
    void Scale(T factor)
    {
        for (T& v : m_data)
            v *= factor;
    }
    // Address of an element, unchecked.
    T* ElementPtr(uint32_t row, uint32_t column) { return m_data.data() + size_t(row) * m_nColumns + column; }

    bool HasData() const { return !m_data.empty(); }
    uint32_t Rows() const { return m_nRows; }
    uint32_t Columns() const { return m_nColumns; }
    T* Data() { return m_data.data(); }
    const T* Data() const { return m_data.data(); }
    bool operator==(const TMatrixOf& other) const
    {
        return m_nRows == other.m_nRows && m_nColumns == other.m_nColumns && m_data == other.m_data;
    }

private:
    size_t Checked(uint32_t row, uint32_t column) const
    {
        if (m_data.empty() || row >= m_nRows || column >= m_nColumns)
            throw std::runtime_error("fatal!");
        return size_t(row) * m_nColumns + column;
    }

    std::vector<T> m_data;
    uint32_t m_nColumns = 0;
    uint32_t m_nRows = 0;
};
