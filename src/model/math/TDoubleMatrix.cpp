#include "model/math/TDoubleMatrix.h"

double TDoubleMatrix::RowMean(uint32_t row) const
{
    if (!HasData() || row >= Rows() || Columns() == 0)
        return 0.0;
    const double* p = Data() + size_t(row) * Columns();
    double sum = 0.0;
    for (uint32_t c = 0; c < Columns(); ++c)
        sum += p[c];
    return sum / Columns();
}
