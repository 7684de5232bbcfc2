#pragma once
#include "engine/quaternion.h"
#include "engine/vector3.h"

// A 4x4 transform with the memory layout of a Direct3D transform matrix, so it
// can be handed to SetTransform as it is: 16 floats, row-major, element
// (row r, column c) at m[4r + c]. Points are row vectors (p' = p * M), the
// translation lies in m[12..14], and in A * B the transform A applies first.
class Matrix4 {
public:
    float m[16];

    // The identity.
    Matrix4() : Matrix4(1.0f) {}
    // diag(s, s, s, 1): a uniform scale, not s times the identity.
    explicit Matrix4(float s);
    // diag(sx, sy, sz, 1).
    Matrix4(float sx, float sy, float sz);
    // The rotation matrix of q, taken as it is (not normalised first).
    explicit Matrix4(const Quaternion& q);
    // The 16 elements in memory order.
    Matrix4(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8, float m9,
            float m10, float m11, float m12, float m13, float m14, float m15);
    Matrix4(const Matrix4& other) = default;
    Matrix4& operator=(const Matrix4& other) = default;

    static Matrix4 Translation(float x, float y, float z);
    static Matrix4 Translation(const Vector3& t) { return Translation(t.x, t.y, t.z); }

    Matrix4& SetIdentity();

    // this x b: this transform first, then b.
    Matrix4 operator*(const Matrix4& b) const;
    Matrix4& operator*=(const Matrix4& b);
    bool operator==(const Matrix4& o) const;

    // Determinant of the upper-left 3x3 block.
    float Determinant3() const;
    // Affine inverse in place: full 3x3 inverse (scale and shear survive),
    // translation row inverted, column 3 copied unchanged. A singular matrix
    // yields non-finite elements.
    Matrix4& Invert();
    // this = affine inverse of src; src must be another object.
    Matrix4& SetInverse(const Matrix4& src);
    Matrix4 Transposed() const;

    // Left-handed view matrix: the eye maps to the origin, the target onto +z.
    Matrix4& LookAt(const Vector3& target, const Vector3& eye, const Vector3& up);

    // p * M for the point (x, y, z, 1), without the divide by w.
    Vector3 TransformPoint(const Vector3& p) const;
    // v * M for the direction (x, y, z, 0).
    Vector3 TransformVector(const Vector3& v) const;
    Vector3 GetTranslation() const { return {m[12], m[13], m[14]}; }
};

static_assert(sizeof(Matrix4) == 64);
