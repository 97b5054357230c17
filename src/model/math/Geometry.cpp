#include "model/math/Geometry.h"

#include <cmath>
#include <map>
#include <numbers>

namespace {

// Degrees to radians as the stored angles are used throughout: rounded to float.
double Radians(float degrees) { return static_cast<float>(degrees * std::numbers::pi / 180.0); }

// Applies the elementary rotation about `axis` (Rx, Ry, Rz with rows (1,0,0),(0,c,s),
// (0,-s,c) and so on), or its transpose, to d. Angles below 0.001 rad are skipped.
void RotateAbout(double d[3], int axis, float degrees, bool transpose)
{
    const double t = Radians(degrees);
    if (std::fabs(t) < 0.001)
        return;
    // (i, j) are the two coordinates that the rotation mixes, in the order in which
    // the positive sine enters the first of them.
    static constexpr int kPairs[3][2] = {{1, 2}, {2, 0}, {0, 1}};
    const int i = kPairs[axis][0], j = kPairs[axis][1];
    const double c = std::cos(t), s = transpose ? -std::sin(t) : std::sin(t);
    const double ui = d[i], uj = d[j];
    d[i] = c * ui + s * uj;
    d[j] = -s * ui + c * uj;
}

void Store(const double d[3], float p[3])
{
    for (int k = 0; k < 3; ++k)
        p[k] = static_cast<float>(d[k]);
}

}  // namespace

void RotatePoint(const float angles[3], const float origin[3], float p[3], int mode)
{
    if (mode < 0 || mode > 3)
        return;
    double d[3] = {p[0], p[1], p[2]};
    if (mode == 0 || mode == 2) {
        for (int k = 0; k < 3; ++k)
            d[k] -= origin[k];
        RotateAbout(d, 0, angles[0], false);
        RotateAbout(d, 1, angles[1], false);
        RotateAbout(d, 2, angles[2], false);
        if (mode == 2)
            d[2] = -d[2];
    } else {
        if (mode == 3)
            d[2] = -d[2];
        RotateAbout(d, 2, angles[2], true);
        RotateAbout(d, 1, angles[1], true);
        RotateAbout(d, 0, angles[0], true);
        for (int k = 0; k < 3; ++k)
            d[k] += origin[k];
    }
    Store(d, p);
}

void TransformPoint(const float M[9], const float Minv[9], const float origin[3], float p[3], int mode)
{
    if (mode < 0 || mode > 3)
        return;
    double in[3] = {p[0], p[1], p[2]}, out[3];
    if (mode == 0 || mode == 2) {
        for (int k = 0; k < 3; ++k)
            in[k] -= origin[k];
        for (int r = 0; r < 3; ++r)
            out[r] = M[3 * r] * in[0] + M[3 * r + 1] * in[1] + M[3 * r + 2] * in[2];
        if (mode == 2)
            out[2] = -out[2];
    } else {
        if (mode == 3)
            in[2] = -in[2];
        for (int r = 0; r < 3; ++r)
            out[r] = Minv[3 * r] * in[0] + Minv[3 * r + 1] * in[1] + Minv[3 * r + 2] * in[2] + origin[r];
    }
    Store(out, p);
}

float* AngulationMatrix(float first, float second, float third, float out[9], int convention)
{
    if (convention != 0 && convention != 1)
        return out;
    const double a = Radians(first), b = Radians(second), c = Radians(third);
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    const double cc = std::cos(c), sc = std::sin(c);
    double m[9];
    if (convention == 0) {
        m[0] = cb * cc;
        m[1] = cc * sb * sa + ca * sc;
        m[2] = sa * sc - cc * sb * ca;
        m[3] = -(cb * sc);
        m[4] = ca * cc - sa * sb * sc;
        m[5] = ca * sb * sc + cc * sa;
        m[6] = sb;
        m[7] = -(cb * sa);
        m[8] = ca * cb;
    } else {
        m[0] = sa * sb * sc + cb * cc;
        m[1] = ca * sc;
        m[2] = cb * sc * sa - cc * sb;
        m[3] = cc * sb * sa - cb * sc;
        m[4] = ca * cc;
        m[5] = cb * cc * sa + sb * sc;
        m[6] = ca * sb;
        m[7] = -sa;
        m[8] = ca * cb;
    }
    for (int k = 0; k < 9; ++k)
        out[k] = static_cast<float>(m[k]);
    return out;
}

float* AngulationMatrixInverse(float first, float second, float third, float out[9], int convention)
{
    float m[9];
    if (convention != 0 && convention != 1)
        return out;
    AngulationMatrix(first, second, third, m, convention);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[3 * r + c] = m[3 * c + r];
    return out;
}

void CrossProduct(const float a[3], const float b[3], float out[3])
{
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

void NormalizeVector(float v[3])
{
    const double length = std::sqrt(static_cast<double>(v[0]) * v[0] + static_cast<double>(v[1]) * v[1] +
                                    static_cast<double>(v[2]) * v[2]);
    if (length == 0.0)
        return;
    for (int k = 0; k < 3; ++k)
        v[k] = static_cast<float>(v[k] / length);
}

double Distance3D(const float a[3], const float b[3])
{
    const double dx = static_cast<double>(b[0]) - a[0];
    const double dy = static_cast<double>(b[1]) - a[1];
    const double dz = static_cast<double>(b[2]) - a[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

bool MatricesEqual3x3(const float a[9], const float b[9])
{
    for (int k = 0; k < 9; ++k)
        if (!(std::fabs(b[k] - a[k]) < 0.005f))
            return false;
    return true;
}

int PatientPositionCode(const std::string& position, const std::string& headFeet, int base)
{
    static const char* const kPositions[] = {"Supine", "Prone", "Left-D", "Right-D"};
    int p = -1;
    for (int k = 0; k < 4; ++k)
        if (position == kPositions[k])
            p = k;
    const int h = headFeet == "HF" ? 0 : headFeet == "FF" ? 1 : -1;
    if (p < 0 || h < 0)
        return -1;
    return base + 100 * p + 10 * h;
}

std::string PatientAxisLabels(const std::string& position, const std::string& headFeet, int orientation,
                              int formatCode)
{
    if (formatCode != 12 && formatCode != 15) {
        switch (orientation) {
        case 0: return "AH";
        case 1: return "RH";
        case 2: return "RA";
        default: return "BAD_ORIT";
        }
    }
    // Built on first use; the axial labels depend on how the patient lies.
    static const std::map<int, std::string> kTable = [] {
        static const char* const kAxial[] = {"RA", "LP", "PR", "AL"};
        std::map<int, std::string> table;
        for (int p = 0; p < 4; ++p)
            for (int h = 0; h < 2; ++h) {
                const int code = 100 * p + 10 * h;
                table[code + 0] = "AH";
                table[code + 1] = "RH";
                table[code + 2] = kAxial[p];
            }
        return table;
    }();
    // The orientation is the units digit of the code: any other value would alias the
    // code of another position (orientation 10 of "Supine", "HF" is "Supine", "FF", 0).
    if (orientation < 0 || orientation > 2)
        return "BAD_ORIT";
    const int code = PatientPositionCode(position, headFeet, orientation);
    if (code < 0)
        return "BAD_ORIT";
    const auto it = kTable.find(code);
    return it == kTable.end() ? "BAD_ORIT" : it->second;
}

void OrientToStandardView(const std::string& labels, int orientation, float* x, float* y, int reverse)
{
    if (orientation < 0 || orientation > 2 || !x || !y)
        return;
    // Labels of the sagittal, coronal and axial image per row; the row says how the
    // point moves into the standard view.
    static constexpr const char* kLabels[8][3] = {
        {"AH", "RH", "RA"}, {"PF", "LF", "LP"}, {"PH", "LH", "LA"}, {"AF", "RF", "RP"},
        {"HA", "HR", "AR"}, {"FP", "FL", "PL"}, {"HP", "HL", "AL"}, {"FA", "FR", "PR"},
    };
    int row = -1;
    for (int r = 0; r < 8; ++r)
        if (labels == kLabels[r][orientation])
            row = r;
    const float u = *x, v = *y;
    switch (row) {
    case 1: *x = -u; *y = -v; break;
    case 2: *x = -u; break;
    case 3: *y = -v; break;
    case 4: *x = v; *y = u; break;
    case 5: *x = -v; *y = -u; break;
    case 6:
        if (reverse) {
            *x = -v;
            *y = u;
        } else {
            *x = v;
            *y = -u;
        }
        break;
    case 7:
        if (reverse) {
            *x = v;
            *y = -u;
        } else {
            *x = -v;
            *y = u;
        }
        break;
    default: break;  // standard view already, or unknown labels
    }
}
