#include "model/TFloatMatrix.h"

#include <stdexcept>

void TFloatMatrix::Resize(uint32_t rows, uint32_t columns)
{
    m_data.assign(size_t(rows) * columns, 0.0f);
    m_nRows = rows;
    m_nColumns = columns;
}

float TFloatMatrix::At(uint32_t row, uint32_t column) const
{
    if (m_data.empty() || row >= m_nRows || column >= m_nColumns)
        throw std::runtime_error("fatal!");
    return m_data[size_t(row) * m_nColumns + column];
}

void TFloatMatrix::Set(uint32_t row, uint32_t column, float value)
{
    if (m_data.empty() || row >= m_nRows || column >= m_nColumns)
        throw std::runtime_error("fatal!");
    m_data[size_t(row) * m_nColumns + column] = value;
}

void TFloatMatrix::Scale(float factor)
{
    for (float& v : m_data)
        v *= factor;
}
