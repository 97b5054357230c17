#pragma once
// A two-dimensional float matrix, row-major, with bounds-tested access (TMatrixOf).
#include "model/math/TMatrixOf.h"

class TFloatMatrix : public TMatrixOf<float> {};
