#pragma once
// A point of two floats: in-plane positions in millimetres and plot coordinates.

struct TPoint2D {
    // Both coordinates start at 0 so that a point read before it is set is defined.
    TPoint2D() = default;
    TPoint2D(float px, float py) : x(px), y(py) {}
    TPoint2D(const TPoint2D&) = default;
    TPoint2D& operator=(const TPoint2D&) = default;
    virtual ~TPoint2D() = default;

    void SetFromInt(int px, int py)
    {
        x = static_cast<float>(px);
        y = static_cast<float>(py);
    }

    TPoint2D operator+(const TPoint2D& other) const { return {x + other.x, y + other.y}; }
    TPoint2D operator-(const TPoint2D& other) const { return {x - other.x, y - other.y}; }

    float x = 0.0f;
    float y = 0.0f;
};
