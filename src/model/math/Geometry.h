#pragma once
// Geometry of CSI grids and MR images: rotation of points by angulation angles,
// 3x3 direction matrices, transforms between scanner and local coordinates, and
// the patient-direction labels of image axes with the flips that bring an image
// into its standard view.
//
// Points and vectors are three floats. A 3x3 matrix is nine floats, row-major:
// M v = (M[0]x + M[1]y + M[2]z, M[3]x + ..., M[6]x + ...). Angles are in degrees.
#include <string>

// Rotates p (in place) by the three angles: Rx(angles[0]), Ry(angles[1]),
// Rz(angles[2]); a rotation below 0.001 rad is skipped.
//   mode 0 (scanner to local): p = Rz Ry Rx (p - origin)
//   mode 1 (local to scanner): p = Rx' Ry' Rz' p + origin
//   mode 2: as mode 0, then z negated; mode 3: z negated, then as mode 1.
// Other modes leave p unchanged.
void RotatePoint(const float angles[3], const float origin[3], float p[3], int mode);

// mode 0: p = M (p - origin); mode 1: p = Minv p + origin; mode 2: as mode 0 with
// the resulting z negated; mode 3: as mode 1 applied to (x, y, -z). Other modes
// leave p unchanged.
void TransformPoint(const float M[9], const float Minv[9], const float origin[3], float p[3], int mode);
inline void TransformPoint(const float (&M)[3][3], const float (&Minv)[3][3], const float origin[3], float p[3],
                           int mode)
{
    TransformPoint(&M[0][0], &Minv[0][0], origin, p, mode);
}

// The rotation of three angulation angles. Convention 0 is Rz(third) Ry(second)
// Rx(first), convention 1 is Rz(third) Rx(first) Ry(second). Any other convention
// leaves out untouched. Returns out.
float* AngulationMatrix(float first, float second, float third, float out[9], int convention);
// The transpose (= inverse) of AngulationMatrix for the same arguments.
float* AngulationMatrixInverse(float first, float second, float third, float out[9], int convention);
inline void AngulationMatrix(float first, float second, float third, float (&out)[3][3], int convention)
{
    AngulationMatrix(first, second, third, &out[0][0], convention);
}
inline void AngulationMatrixInverse(float first, float second, float third, float (&out)[3][3], int convention)
{
    AngulationMatrixInverse(first, second, third, &out[0][0], convention);
}

// out = a x b (right-handed); out may be a or b.
void CrossProduct(const float a[3], const float b[3], float out[3]);
// v divided by its length; a zero vector stays zero.
void NormalizeVector(float v[3]);
double Distance3D(const float a[3], const float b[3]);
// True when every element differs by less than 0.005.
bool MatricesEqual3x3(const float a[9], const float b[9]);

// base + 100 P + 10 H with P: "Supine" 0, "Prone" 1, "Left-D" 2, "Right-D" 3 and
// H: "HF" 0, "FF" 1; -1 when either text is not one of these.
int PatientPositionCode(const std::string& position, const std::string& headFeet, int base);
// The two-letter patient directions of an image's x and y axes ("RA", "LP", ...),
// "BAD_ORIT" for an unknown combination. Format codes 12 and 15 use the patient
// position; any other code gives the fixed labels of the orientation.
std::string PatientAxisLabels(const std::string& position, const std::string& headFeet, int orientation,
                              int formatCode);
// Turns the coordinates of a point of an image whose axes carry `labels` into those
// of the orientation's standard view ("AH" sagittal, "RH" coronal, "RA" axial).
// reverse != 0 selects the reverse of the quarter turns. Unknown labels or
// orientations leave x and y unchanged.
void OrientToStandardView(const std::string& labels, int orientation, float* x, float* y, int reverse);
