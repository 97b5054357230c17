#pragma once
// A two-dimensional float matrix, row-major (element (row, column) at
// row * columns + column), with bounds-tested access.
#include <cstddef>
#include <cstdint>
#include <vector>

class TFloatMatrix {
public:
    TFloatMatrix() = default;
    TFloatMatrix(const TFloatMatrix&) = default;
    TFloatMatrix& operator=(const TFloatMatrix&) = default;
    TFloatMatrix(TFloatMatrix&&) = default;
    TFloatMatrix& operator=(TFloatMatrix&&) = default;
    virtual ~TFloatMatrix() = default;

    // Drops the old elements and makes rows x columns zeros.
    void Resize(uint32_t rows, uint32_t columns);
    // Both throw std::runtime_error("fatal!") outside the matrix or without data.
    float At(uint32_t row, uint32_t column) const;
    void Set(uint32_t row, uint32_t column, float value);
    // Multiplies every element; nothing without data.
    void Scale(float factor);
    // Address of an element, unchecked.
    float* ElementPtr(uint32_t row, uint32_t column) { return m_data.data() + size_t(row) * m_nColumns + column; }

    bool HasData() const { return !m_data.empty(); }
    uint32_t Rows() const { return m_nRows; }
    uint32_t Columns() const { return m_nColumns; }
    float* Data() { return m_data.data(); }
    const float* Data() const { return m_data.data(); }

private:
    std::vector<float> m_data;
    uint32_t m_nColumns = 0;
    uint32_t m_nRows = 0;
};
