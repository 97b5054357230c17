#include "model/GeometryHelpers.h"

#include <cmath>

namespace {

float Radians(float degrees)
{
    return static_cast<float>(degrees * 3.14159265358979323846 / 180.0);
}

}  // namespace

void AngulationMatrix(float first, float second, float third, float out[9], int convention)
{
    const float a = Radians(first), b = Radians(second), c = Radians(third);
    const float ca = std::cos(a), sa = std::sin(a);
    const float cb = std::cos(b), sb = std::sin(b);
    const float cc = std::cos(c), sc = std::sin(c);
    if (convention == 0) {
        const float m[9] = {cb * cc,   cc * sb * sa + ca * sc, sa * sc - cc * sb * ca,
                            -(cb * sc), ca * cc - sa * sb * sc, ca * sb * sc + cc * sa,
                            sb,         -(cb * sa),             ca * cb};
        for (int i = 0; i < 9; ++i)
            out[i] = m[i];
    } else if (convention == 1) {
        const float m[9] = {sa * sb * sc + cb * cc, ca * sc, cb * sc * sa - cc * sb,
                            cc * sb * sa - cb * sc, ca * cc, cb * cc * sa + sb * sc,
                            ca * sb,                -sa,     ca * cb};
        for (int i = 0; i < 9; ++i)
            out[i] = m[i];
    }
}

void AngulationMatrixInverse(float first, float second, float third, float out[9], int convention)
{
    if (convention != 0 && convention != 1)
        return;
    float m[9];
    AngulationMatrix(first, second, third, m, convention);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[c * 3 + r] = m[r * 3 + c];
}

bool InvertMatrix3x3(const float m[9], float out[9])
{
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
    const double co0 = e * i - f * h, co1 = f * g - d * i, co2 = d * h - e * g;
    const double det = a * co0 + b * co1 + c * co2;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12)
        return false;
    const double adjugate[9] = {co0, c * h - b * i, b * f - c * e, co1, a * i - c * g,
                                c * d - a * f, co2, b * g - a * h, a * e - b * d};
    for (int k = 0; k < 9; ++k)
        out[k] = static_cast<float>(adjugate[k] / det);
    return true;
}

bool MatricesEqual3x3(const float a[9], const float b[9])
{
    for (int k = 0; k < 9; ++k)
        if (!(std::fabs(b[k] - a[k]) < 0.005f))
            return false;
    return true;
}
