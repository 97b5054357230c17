#pragma once
// 3 x 3 direction matrices of angulation angles and their inversion. Matrices are nine
// floats, row by row.

// The rotation of three angulation angles (degrees) in convention 0 (the image readers')
// or 1 (the CSI sets'); any other convention leaves `out` untouched.
void AngulationMatrix(float first, float second, float third, float out[9], int convention);
// The transpose of AngulationMatrix with the same arguments.
void AngulationMatrixInverse(float first, float second, float third, float out[9], int convention);
// False (out untouched) for a singular or non-finite matrix.
bool InvertMatrix3x3(const float m[9], float out[9]);
// True when every element differs by less than 0.005.
bool MatricesEqual3x3(const float a[9], const float b[9]);
