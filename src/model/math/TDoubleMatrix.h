#pragma once
// A two-dimensional double matrix, row-major, with bounds-tested access (TMatrixOf).
#include "model/math/TMatrixOf.h"

class TDoubleMatrix : public TMatrixOf<double> {
public:
    // The mean of the row; 0.0 without data or for a row past the last.
    double RowMean(uint32_t row) const;
};
